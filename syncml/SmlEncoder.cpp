// The element orders of SyncML, MetInf and DevInf as written.
#include "syncml/SmlEncoder.h"

#include <variant>

namespace {
constexpr std::string_view kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
constexpr SmlVocab kMet = SmlVocab::MetInf;
constexpr SmlVocab kDev = SmlVocab::DevInf;
}  // namespace

void SmlEncoder::MessageStart(const SmlSyncHdr& header, SmlVersion version) {
  mWriter.Raw(kXmlDeclaration);
  mWriter.RootStartTag(version);
  mWriter.StartTag(SmlTag::SyncHdr, SmlVocab::SyncMl);
  Leaf(SmlTag::VerDTD, header.verDtd);
  Leaf(SmlTag::VerProto, header.verProto);
  Leaf(SmlTag::SessionID, header.sessionId);
  Leaf(SmlTag::MsgID, header.msgId);
  Target(header.target);
  Source(header.source);
  Leaf(SmlTag::RespURI, header.respUri);
  Flag(SmlTag::NoResp, header.noResp);
  Cred(header.cred);
  Content(SmlTag::Meta, header.meta);
  mWriter.EndTag(SmlTag::SyncHdr);
  mWriter.StartTag(SmlTag::SyncBody, SmlVocab::SyncMl);
}

void SmlEncoder::MessageEnd(bool final) {
  Flag(SmlTag::Final, final);
  mWriter.EndTag(SmlTag::SyncBody);
  mWriter.EndTag(SmlTag::SyncML);
}

void SmlEncoder::SyncStart(const SmlSync& sync) {
  mWriter.StartTag(SmlTag::Sync, SmlVocab::SyncMl);
  Leaf(SmlTag::CmdID, sync.cmdId);
  Flag(SmlTag::NoResp, sync.noResp);
  Cred(sync.cred);
  Target(sync.target);
  Source(sync.source);
  Content(SmlTag::Meta, sync.meta);
  Leaf(SmlTag::NumberOfChanges, sync.numberOfChanges);
}

void SmlEncoder::SyncEnd() { mWriter.EndTag(SmlTag::Sync); }

void SmlEncoder::Command(const SmlCommand& command) {
  std::visit([this](const auto& concrete) { Command(concrete); }, command);
}

void SmlEncoder::Command(const SmlAlert& alert) {
  mWriter.StartTag(SmlTag::Alert, SmlVocab::SyncMl);
  Leaf(SmlTag::CmdID, alert.cmdId);
  Flag(SmlTag::NoResp, alert.noResp);
  Cred(alert.cred);
  Content(SmlTag::Data, alert.data);
  Items(alert.items);
  mWriter.EndTag(SmlTag::Alert);
}

void SmlEncoder::ItemCommand(SmlTag tag, const SmlItemCommand& command) {
  mWriter.StartTag(tag, SmlVocab::SyncMl);
  Leaf(SmlTag::CmdID, command.cmdId);
  Flag(SmlTag::NoResp, command.noResp);
  Flag(SmlTag::Archive, command.archive);
  Flag(SmlTag::SftDel, command.sftDel);
  Cred(command.cred);
  Content(SmlTag::Meta, command.meta);
  Items(command.items);
  mWriter.EndTag(tag);
}

void SmlEncoder::AccessCommand(SmlTag tag, const SmlAccessCommand& command) {
  mWriter.StartTag(tag, SmlVocab::SyncMl);
  Leaf(SmlTag::CmdID, command.cmdId);
  Flag(SmlTag::NoResp, command.noResp);
  Leaf(SmlTag::Lang, command.lang);
  Cred(command.cred);
  Content(SmlTag::Meta, command.meta);
  Items(command.items);
  mWriter.EndTag(tag);
}

void SmlEncoder::Command(const SmlMap& map) {
  mWriter.StartTag(SmlTag::Map, SmlVocab::SyncMl);
  Leaf(SmlTag::CmdID, map.cmdId);
  Target(map.target);
  Source(map.source);
  Cred(map.cred);
  Content(SmlTag::Meta, map.meta);
  for (const SmlMapItem& mapItem : map.mapItems) {
    mWriter.StartTag(SmlTag::MapItem, SmlVocab::SyncMl);
    Target(mapItem.target);
    Source(mapItem.source);
    mWriter.EndTag(SmlTag::MapItem);
  }
  mWriter.EndTag(SmlTag::Map);
}

void SmlEncoder::Command(const SmlResults& results) {
  mWriter.StartTag(SmlTag::Results, SmlVocab::SyncMl);
  Leaf(SmlTag::CmdID, results.cmdId);
  Leaf(SmlTag::MsgRef, results.msgRef);
  Leaf(SmlTag::CmdRef, results.cmdRef);
  Content(SmlTag::Meta, results.meta);
  Leaves(SmlTag::TargetRef, results.targetRefs);
  Leaves(SmlTag::SourceRef, results.sourceRefs);
  Items(results.items);
  mWriter.EndTag(SmlTag::Results);
}

void SmlEncoder::Command(const SmlStatus& status) {
  mWriter.StartTag(SmlTag::Status, SmlVocab::SyncMl);
  Leaf(SmlTag::CmdID, status.cmdId);
  Leaf(SmlTag::MsgRef, status.msgRef);
  Leaf(SmlTag::CmdRef, status.cmdRef);
  Leaf(SmlTag::Cmd, status.cmd);
  Leaves(SmlTag::TargetRef, status.targetRefs);
  Leaves(SmlTag::SourceRef, status.sourceRefs);
  Cred(status.cred);
  if (status.chal) {
    mWriter.StartTag(SmlTag::Chal, SmlVocab::SyncMl);
    Content(SmlTag::Meta, status.chal->meta);
    mWriter.EndTag(SmlTag::Chal);
  }
  Content(SmlTag::Data, status.data);
  Items(status.items);
  mWriter.EndTag(SmlTag::Status);
}

void SmlEncoder::Leaf(SmlTag tag, std::string_view text, SmlVocab inEffect) {
  mWriter.StartTag(tag, inEffect);
  mWriter.Escaped(text);
  mWriter.EndTag(tag);
}

void SmlEncoder::Leaf(SmlTag tag, const SmlText& text, SmlVocab inEffect) {
  if (text) Leaf(tag, std::string_view(*text), inEffect);
}

void SmlEncoder::Leaves(SmlTag tag, const std::vector<std::string>& texts, SmlVocab inEffect) {
  for (const std::string& text : texts) Leaf(tag, std::string_view(text), inEffect);
}

void SmlEncoder::Flag(SmlTag tag, bool set, SmlVocab inEffect) {
  if (set) mWriter.EmptyTag(tag, inEffect);
}

void SmlEncoder::Content(SmlTag tag, const SmlPcdata& content) {
  switch (content.kind) {
    case SmlContentKind::Empty:
      return;
    case SmlContentKind::Plain:
    case SmlContentKind::Opaque:
      mWriter.StartTag(tag, SmlVocab::SyncMl);
      mWriter.TextContent(content.text);
      break;
    case SmlContentKind::Cdata:
      mWriter.StartTag(tag, SmlVocab::SyncMl);
      mWriter.CdataSection(content.text);
      break;
    case SmlContentKind::Extension:
      mWriter.StartTag(tag, SmlVocab::SyncMl);
      if (content.metInf) MetInf(*content.metInf);
      if (content.devInf) DevInf(*content.devInf);
      break;
  }
  mWriter.EndTag(tag);
}

void SmlEncoder::Cred(const std::optional<SmlCred>& cred) {
  if (!cred) return;
  mWriter.StartTag(SmlTag::Cred, SmlVocab::SyncMl);
  Content(SmlTag::Meta, cred->meta);
  Content(SmlTag::Data, cred->data);
  mWriter.EndTag(SmlTag::Cred);
}

void SmlEncoder::Target(const SmlTarget& target) {
  mWriter.StartTag(SmlTag::Target, SmlVocab::SyncMl);
  Leaf(SmlTag::LocURI, target.locUri);
  Leaf(SmlTag::LocName, target.locName);
  if (target.filter) Filter(*target.filter);
  mWriter.EndTag(SmlTag::Target);
}

void SmlEncoder::Target(const std::optional<SmlTarget>& target) {
  if (target) Target(*target);
}

void SmlEncoder::Source(const SmlSource& source) {
  mWriter.StartTag(SmlTag::Source, SmlVocab::SyncMl);
  Leaf(SmlTag::LocURI, source.locUri);
  Leaf(SmlTag::LocName, source.locName);
  mWriter.EndTag(SmlTag::Source);
}

void SmlEncoder::Source(const std::optional<SmlSource>& source) {
  if (source) Source(*source);
}

void SmlEncoder::Filter(const SmlFilter& filter) {
  mWriter.StartTag(SmlTag::Filter, SmlVocab::SyncMl);
  Content(SmlTag::Meta, filter.meta);
  Leaf(SmlTag::FilterType, filter.filterType);
  Items(SmlTag::Record, filter.record);
  Items(SmlTag::Field, filter.field);
  mWriter.EndTag(SmlTag::Filter);
}

void SmlEncoder::Items(SmlTag wrapper, const std::vector<SmlItem>& items) {
  if (items.empty()) return;
  mWriter.StartTag(wrapper, SmlVocab::SyncMl);
  Items(items);
  mWriter.EndTag(wrapper);
}

void SmlEncoder::Items(const std::vector<SmlItem>& items) {
  for (const SmlItem& item : items) Item(item);
}

void SmlEncoder::Item(const SmlItem& item) {
  mWriter.StartTag(SmlTag::Item, SmlVocab::SyncMl);
  Target(item.target);
  Source(item.source);
  Content(SmlTag::Meta, item.meta);
  Content(SmlTag::Data, item.data);
  Flag(SmlTag::MoreData, item.moreData);
  mWriter.EndTag(SmlTag::Item);
}

// Each MetInf element stands directly in the Meta, where SyncML is in effect, so each carries
// the MetInf namespace; the children of Anchor and Mem are in MetInf already.
void SmlEncoder::MetInf(const SmlMetInf& metInf) {
  constexpr SmlVocab kOuter = SmlVocab::SyncMl;
  Leaf(SmlTag::MiFormat, metInf.format, kOuter);
  Leaf(SmlTag::MiType, metInf.type, kOuter);
  Leaf(SmlTag::MiMark, metInf.mark, kOuter);
  Leaf(SmlTag::MiSize, metInf.size, kOuter);
  if (metInf.anchor) {
    mWriter.StartTag(SmlTag::MiAnchor, kOuter);
    Leaf(SmlTag::MiLast, metInf.anchor->last, kMet);
    Leaf(SmlTag::MiNext, metInf.anchor->next, kMet);
    mWriter.EndTag(SmlTag::MiAnchor);
  }
  Leaf(SmlTag::MiVersion, metInf.version, kOuter);
  Leaf(SmlTag::MiNextNonce, metInf.nextNonce, kOuter);
  Leaf(SmlTag::MiMaxMsgSize, metInf.maxMsgSize, kOuter);
  Leaf(SmlTag::MiMaxObjSize, metInf.maxObjSize, kOuter);
  Leaves(SmlTag::MiEMI, metInf.emi, kOuter);
  if (metInf.mem) {
    mWriter.StartTag(SmlTag::MiMem, kOuter);
    Flag(SmlTag::MiSharedMem, metInf.mem->sharedMem, kMet);
    Leaf(SmlTag::MiFreeMem, metInf.mem->freeMem, kMet);
    Leaf(SmlTag::MiFreeID, metInf.mem->freeId, kMet);
    mWriter.EndTag(SmlTag::MiMem);
  }
}

void SmlEncoder::DevInf(const SmlDevInf& devInf) {
  mWriter.StartTag(SmlTag::DiDevInf, SmlVocab::SyncMl);
  Leaf(SmlTag::DiVerDTD, devInf.verDtd, kDev);
  Leaf(SmlTag::DiMan, devInf.man, kDev);
  Leaf(SmlTag::DiMod, devInf.mod, kDev);
  Leaf(SmlTag::DiOEM, devInf.oem, kDev);
  Leaf(SmlTag::DiFwV, devInf.fwV, kDev);
  Leaf(SmlTag::DiSwV, devInf.swV, kDev);
  Leaf(SmlTag::DiHwV, devInf.hwV, kDev);
  Leaf(SmlTag::DiDevID, devInf.devId, kDev);
  Leaf(SmlTag::DiDevTyp, devInf.devTyp, kDev);
  Flag(SmlTag::DiUTC, devInf.utc, kDev);
  Flag(SmlTag::DiSupportLargeObjs, devInf.supportLargeObjs, kDev);
  Flag(SmlTag::DiSupportNumberOfChanges, devInf.supportNumberOfChanges, kDev);
  for (const SmlDataStore& store : devInf.dataStores) DataStore(store);
  CtCaps(devInf.ctCaps);
  for (const SmlExt& ext : devInf.exts) {
    mWriter.StartTag(SmlTag::DiExt, kDev);
    Leaf(SmlTag::DiXNam, ext.xNam, kDev);
    Leaves(SmlTag::DiXVal, ext.xVals, kDev);
    mWriter.EndTag(SmlTag::DiExt);
  }
  mWriter.EndTag(SmlTag::DiDevInf);
}

void SmlEncoder::DataStore(const SmlDataStore& store) {
  mWriter.StartTag(SmlTag::DiDataStore, kDev);
  Leaf(SmlTag::DiSourceRef, store.sourceRef, kDev);
  Leaf(SmlTag::DiDisplayName, store.displayName, kDev);
  Leaf(SmlTag::DiMaxGUIDSize, store.maxGuidSize, kDev);
  ContentTypeRef(SmlTag::DiRxPref, store.rxPref);
  for (const SmlContentTypeRef& ref : store.rx) ContentTypeRef(SmlTag::DiRx, ref);
  ContentTypeRef(SmlTag::DiTxPref, store.txPref);
  for (const SmlContentTypeRef& ref : store.tx) ContentTypeRef(SmlTag::DiTx, ref);
  CtCaps(store.ctCaps);
  if (store.dsMem) {
    mWriter.StartTag(SmlTag::DiDSMem, kDev);
    Flag(SmlTag::DiSharedMem, store.dsMem->sharedMem, kDev);
    Leaf(SmlTag::DiMaxMem, store.dsMem->maxMem, kDev);
    Leaf(SmlTag::DiMaxID, store.dsMem->maxId, kDev);
    mWriter.EndTag(SmlTag::DiDSMem);
  }
  if (store.syncCap) {
    mWriter.StartTag(SmlTag::DiSyncCap, kDev);
    Leaves(SmlTag::DiSyncType, store.syncCap->syncTypes, kDev);
    mWriter.EndTag(SmlTag::DiSyncCap);
  }
  for (const SmlContentTypeRef& ref : store.filterRx) ContentTypeRef(SmlTag::DiFilterRx, ref);
  for (const SmlFilterCap& cap : store.filterCaps) {
    mWriter.StartTag(SmlTag::DiFilterCap, kDev);
    Leaf(SmlTag::DiCTType, cap.ctType, kDev);
    Leaf(SmlTag::DiVerCT, cap.verCt, kDev);
    Leaves(SmlTag::DiFilterKeyword, cap.filterKeywords, kDev);
    Leaves(SmlTag::DiPropName, cap.propNames, kDev);
    mWriter.EndTag(SmlTag::DiFilterCap);
  }
  mWriter.EndTag(SmlTag::DiDataStore);
}

void SmlEncoder::ContentTypeRef(SmlTag tag, const SmlContentTypeRef& ref) {
  mWriter.StartTag(tag, kDev);
  Leaf(SmlTag::DiCTType, ref.ctType, kDev);
  Leaf(SmlTag::DiVerCT, ref.verCt, kDev);
  mWriter.EndTag(tag);
}

void SmlEncoder::ContentTypeRef(SmlTag tag, const std::optional<SmlContentTypeRef>& ref) {
  if (ref) ContentTypeRef(tag, *ref);
}

// The flat form every DevInf reader knows: each CTType opens a content type, each PropName a
// property of it, each ParamName a parameter of that property.
void SmlEncoder::CtCaps(const std::vector<SmlCtCap>& caps) {
  if (caps.empty()) return;
  mWriter.StartTag(SmlTag::DiCTCap, kDev);
  for (const SmlCtCap& cap : caps) {
    Leaf(SmlTag::DiCTType, cap.ctType, kDev);
    Leaf(SmlTag::DiVerCT, cap.verCt, kDev);
    for (const SmlProperty& property : cap.properties) Property(property);
  }
  mWriter.EndTag(SmlTag::DiCTCap);
}

void SmlEncoder::Property(const SmlProperty& property) {
  Leaf(SmlTag::DiPropName, property.propName, kDev);
  Leaves(SmlTag::DiValEnum, property.valEnums, kDev);
  Leaf(SmlTag::DiDataType, property.dataType, kDev);
  Leaf(SmlTag::DiSize, property.size, kDev);
  Leaf(SmlTag::DiMaxOccur, property.maxOccur, kDev);
  Leaf(SmlTag::DiDisplayName, property.displayName, kDev);
  for (const SmlPropParam& param : property.params) {
    Leaf(SmlTag::DiParamName, param.paramName, kDev);
    Leaves(SmlTag::DiValEnum, param.valEnums, kDev);
    Leaf(SmlTag::DiDataType, param.dataType, kDev);
    Leaf(SmlTag::DiDisplayName, param.displayName, kDev);
  }
}
