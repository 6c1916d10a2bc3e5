// Name tables of the three vocabularies, checked against the tag enumeration at compile time.
#include "syncml/SmlVocabulary.h"

#include <algorithm>
#include <array>
#include <string>

#include "common/AsciiText.h"

namespace {

struct TagEntry {
  SmlTag tag;
  SmlVocab vocab;
  std::string_view name;
};

using V = SmlVocab;
using T = SmlTag;

// In the order of the enumeration, so that a tag indexes its own entry.
constexpr TagEntry kTags[] = {
    {T::Unknown, V::SyncMl, ""},
    {T::Add, V::SyncMl, "Add"}, {T::Alert, V::SyncMl, "Alert"}, {T::Archive, V::SyncMl, "Archive"},
    {T::Atomic, V::SyncMl, "Atomic"}, {T::Chal, V::SyncMl, "Chal"}, {T::Cmd, V::SyncMl, "Cmd"},
    {T::CmdID, V::SyncMl, "CmdID"}, {T::CmdRef, V::SyncMl, "CmdRef"}, {T::Copy, V::SyncMl, "Copy"},
    {T::Cred, V::SyncMl, "Cred"}, {T::Data, V::SyncMl, "Data"}, {T::Delete, V::SyncMl, "Delete"},
    {T::Exec, V::SyncMl, "Exec"}, {T::Final, V::SyncMl, "Final"}, {T::Get, V::SyncMl, "Get"},
    {T::Item, V::SyncMl, "Item"}, {T::Lang, V::SyncMl, "Lang"}, {T::LocName, V::SyncMl, "LocName"},
    {T::LocURI, V::SyncMl, "LocURI"}, {T::Map, V::SyncMl, "Map"}, {T::MapItem, V::SyncMl, "MapItem"},
    {T::Meta, V::SyncMl, "Meta"}, {T::MsgID, V::SyncMl, "MsgID"}, {T::MsgRef, V::SyncMl, "MsgRef"},
    {T::NoResp, V::SyncMl, "NoResp"}, {T::NoResults, V::SyncMl, "NoResults"}, {T::Put, V::SyncMl, "Put"},
    {T::Replace, V::SyncMl, "Replace"}, {T::RespURI, V::SyncMl, "RespURI"},
    {T::Results, V::SyncMl, "Results"}, {T::Search, V::SyncMl, "Search"},
    {T::Sequence, V::SyncMl, "Sequence"}, {T::SessionID, V::SyncMl, "SessionID"},
    {T::SftDel, V::SyncMl, "SftDel"}, {T::Source, V::SyncMl, "Source"},
    {T::SourceRef, V::SyncMl, "SourceRef"}, {T::Status, V::SyncMl, "Status"},
    {T::Sync, V::SyncMl, "Sync"}, {T::SyncBody, V::SyncMl, "SyncBody"},
    {T::SyncHdr, V::SyncMl, "SyncHdr"}, {T::SyncML, V::SyncMl, "SyncML"},
    {T::Target, V::SyncMl, "Target"}, {T::TargetRef, V::SyncMl, "TargetRef"},
    {T::VerDTD, V::SyncMl, "VerDTD"}, {T::VerProto, V::SyncMl, "VerProto"},
    {T::NumberOfChanges, V::SyncMl, "NumberOfChanges"}, {T::MoreData, V::SyncMl, "MoreData"},
    {T::Filter, V::SyncMl, "Filter"}, {T::Record, V::SyncMl, "Record"}, {T::Field, V::SyncMl, "Field"},
    {T::FilterType, V::SyncMl, "FilterType"},
    {T::MiAnchor, V::MetInf, "Anchor"}, {T::MiEMI, V::MetInf, "EMI"}, {T::MiFormat, V::MetInf, "Format"},
    {T::MiFreeID, V::MetInf, "FreeID"}, {T::MiFreeMem, V::MetInf, "FreeMem"},
    {T::MiLast, V::MetInf, "Last"}, {T::MiMark, V::MetInf, "Mark"},
    {T::MiMaxMsgSize, V::MetInf, "MaxMsgSize"}, {T::MiMem, V::MetInf, "Mem"},
    {T::MiMetInf, V::MetInf, "MetInf"}, {T::MiNext, V::MetInf, "Next"},
    {T::MiNextNonce, V::MetInf, "NextNonce"}, {T::MiSharedMem, V::MetInf, "SharedMem"},
    {T::MiSize, V::MetInf, "Size"}, {T::MiType, V::MetInf, "Type"}, {T::MiVersion, V::MetInf, "Version"},
    {T::MiMaxObjSize, V::MetInf, "MaxObjSize"},
    {T::DiCTCap, V::DevInf, "CTCap"}, {T::DiCTType, V::DevInf, "CTType"},
    {T::DiDataStore, V::DevInf, "DataStore"}, {T::DiDataType, V::DevInf, "DataType"},
    {T::DiDevID, V::DevInf, "DevID"}, {T::DiDevInf, V::DevInf, "DevInf"},
    {T::DiDevTyp, V::DevInf, "DevTyp"}, {T::DiDisplayName, V::DevInf, "DisplayName"},
    {T::DiDSMem, V::DevInf, "DSMem"}, {T::DiExt, V::DevInf, "Ext"}, {T::DiFwV, V::DevInf, "FwV"},
    {T::DiHwV, V::DevInf, "HwV"}, {T::DiMan, V::DevInf, "Man"},
    {T::DiMaxGUIDSize, V::DevInf, "MaxGUIDSize"}, {T::DiMaxID, V::DevInf, "MaxID"},
    {T::DiMaxMem, V::DevInf, "MaxMem"}, {T::DiMod, V::DevInf, "Mod"}, {T::DiOEM, V::DevInf, "OEM"},
    {T::DiParamName, V::DevInf, "ParamName"}, {T::DiPropName, V::DevInf, "PropName"},
    {T::DiRx, V::DevInf, "Rx"}, {T::DiRxPref, V::DevInf, "Rx-Pref"},
    {T::DiSharedMem, V::DevInf, "SharedMem"}, {T::DiSize, V::DevInf, "Size"},
    {T::DiSourceRef, V::DevInf, "SourceRef"}, {T::DiSwV, V::DevInf, "SwV"},
    {T::DiSyncCap, V::DevInf, "SyncCap"}, {T::DiSyncType, V::DevInf, "SyncType"},
    {T::DiTx, V::DevInf, "Tx"}, {T::DiTxPref, V::DevInf, "Tx-Pref"},
    {T::DiValEnum, V::DevInf, "ValEnum"}, {T::DiVerCT, V::DevInf, "VerCT"},
    {T::DiVerDTD, V::DevInf, "VerDTD"}, {T::DiXNam, V::DevInf, "XNam"}, {T::DiXVal, V::DevInf, "XVal"},
    {T::DiUTC, V::DevInf, "UTC"}, {T::DiSupportNumberOfChanges, V::DevInf, "SupportNumberOfChanges"},
    {T::DiSupportLargeObjs, V::DevInf, "SupportLargeObjs"}, {T::DiProperty, V::DevInf, "Property"},
    {T::DiPropParam, V::DevInf, "PropParam"}, {T::DiMaxOccur, V::DevInf, "MaxOccur"},
    {T::DiFilterRx, V::DevInf, "Filter-Rx"}, {T::DiFilterCap, V::DevInf, "FilterCap"},
    {T::DiFilterKeyword, V::DevInf, "FilterKeyword"},
};
constexpr std::size_t kTagCount = std::size(kTags);

constexpr bool TableMatchesEnumeration() {
  for (std::size_t i = 0; i < kTagCount; ++i) {
    if (static_cast<std::size_t>(kTags[i].tag) != i) return false;
  }
  return static_cast<std::size_t>(T::DiFilterKeyword) + 1 == kTagCount;
}
static_assert(TableMatchesEnumeration(), "kTags must list every SmlTag in enumeration order");

constexpr bool ByVocabAndName(const TagEntry& a, const TagEntry& b) {
  return a.vocab != b.vocab ? a.vocab < b.vocab : a.name < b.name;
}

// The entries sorted for binary search by vocabulary and name.
constexpr auto kSortedTags = [] {
  std::array<TagEntry, kTagCount - 1> sorted{};
  std::copy(std::begin(kTags) + 1, std::end(kTags), sorted.begin());
  std::sort(sorted.begin(), sorted.end(), ByVocabAndName);
  return sorted;
}();

}  // namespace

std::string_view SmlTagName(SmlTag tag) { return kTags[static_cast<std::size_t>(tag)].name; }

SmlVocab SmlTagVocab(SmlTag tag) { return kTags[static_cast<std::size_t>(tag)].vocab; }

SmlTag SmlLookupTag(SmlVocab vocab, std::string_view name) {
  const TagEntry key{T::Unknown, vocab, name};
  const auto* found = std::lower_bound(kSortedTags.begin(), kSortedTags.end(), key, ByVocabAndName);
  if (found != kSortedTags.end() && found->vocab == vocab && found->name == name) return found->tag;
  return T::Unknown;
}

std::string_view SmlNamespaceOf(SmlVocab vocab, SmlVersion version) {
  switch (vocab) {
    case V::MetInf: return "syncml:metinf";
    case V::DevInf: return "syncml:devinf";
    case V::SyncMl: break;
  }
  switch (version) {
    case SmlVersion::V10: return "SYNCML:SYNCML1.0";
    case SmlVersion::V12: return "SYNCML:SYNCML1.2";
    case SmlVersion::V11: break;
  }
  return "SYNCML:SYNCML1.1";
}

// Servers write the namespaces in either letter case, and some name a vocabulary by the URL of
// its DTD ("http://www.syncml.org/docs/devinf_v11_20020215.dtd").
std::optional<SmlVocab> SmlVocabOfNamespace(std::string_view value) {
  const std::string name = AsciiLowercase(value);
  if (name.starts_with("syncml:syncml")) return V::SyncMl;
  if (name == "syncml:metinf") return V::MetInf;
  if (name == "syncml:devinf") return V::DevInf;
  if (name.ends_with(".dtd")) {
    const std::string_view file = std::string_view(name).substr(name.rfind('/') + 1);
    if (file.starts_with("devinf")) return V::DevInf;
    if (file.starts_with("syncml_metinf") || file.starts_with("metinf")) return V::MetInf;
  }
  return std::nullopt;
}
