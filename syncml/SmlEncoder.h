// Writes SyncML element structures as XML text.
#pragma once

#include "syncml/SmlTypes.h"
#include "syncml/SmlXmlWriter.h"

// Turns structures into XML through a writer it does not own. Children are written in the order
// SyncML prescribes, each only when present; no white space is written between elements. Text is
// escaped; Data and Meta text holding "&", "<" or ">" is written as CDATA. MetInf elements placed
// directly in a Meta, and a DevInf in a Data, carry their namespace attribute; their children do
// not. Overflow is reported by the writer, never by the encoder.
class SmlEncoder {
 public:
  explicit SmlEncoder(SmlXmlWriter& writer) : mWriter(writer) {}

  // XML declaration, <SyncML> with the version's namespace, the header and <SyncBody>.
  void MessageStart(const SmlSyncHdr& header, SmlVersion version);
  // <Final/> when `final`, then the end tags of SyncBody and SyncML.
  void MessageEnd(bool final);
  // <Sync> with its own children; the contained commands follow, then SyncEnd.
  void SyncStart(const SmlSync& sync);
  void SyncEnd();

  void Command(const SmlCommand& command);
  void Command(const SmlAlert& alert);
  void Command(const SmlAdd& add) { ItemCommand(SmlTag::Add, add); }
  void Command(const SmlReplace& replace) { ItemCommand(SmlTag::Replace, replace); }
  void Command(const SmlDelete& del) { ItemCommand(SmlTag::Delete, del); }
  void Command(const SmlCopy& copy) { ItemCommand(SmlTag::Copy, copy); }
  void Command(const SmlGet& get) { AccessCommand(SmlTag::Get, get); }
  void Command(const SmlPut& put) { AccessCommand(SmlTag::Put, put); }
  void Command(const SmlMap& map);
  void Command(const SmlResults& results);
  void Command(const SmlStatus& status);

 private:
  void ItemCommand(SmlTag tag, const SmlItemCommand& command);
  void AccessCommand(SmlTag tag, const SmlAccessCommand& command);

  void Leaf(SmlTag tag, std::string_view text, SmlVocab inEffect = SmlVocab::SyncMl);
  void Leaf(SmlTag tag, const std::string& text, SmlVocab inEffect = SmlVocab::SyncMl) {
    Leaf(tag, std::string_view(text), inEffect);
  }
  void Leaf(SmlTag tag, const SmlText& text, SmlVocab inEffect = SmlVocab::SyncMl);
  void Leaves(SmlTag tag, const std::vector<std::string>& texts, SmlVocab inEffect = SmlVocab::SyncMl);
  void Flag(SmlTag tag, bool set, SmlVocab inEffect = SmlVocab::SyncMl);
  void Content(SmlTag tag, const SmlPcdata& content);

  void Cred(const std::optional<SmlCred>& cred);
  void Target(const SmlTarget& target);
  void Target(const std::optional<SmlTarget>& target);
  void Source(const SmlSource& source);
  void Source(const std::optional<SmlSource>& source);
  void Filter(const SmlFilter& filter);
  void Items(SmlTag wrapper, const std::vector<SmlItem>& items);
  void Items(const std::vector<SmlItem>& items);
  void Item(const SmlItem& item);

  void MetInf(const SmlMetInf& metInf);
  void DevInf(const SmlDevInf& devInf);
  void DataStore(const SmlDataStore& store);
  void ContentTypeRef(SmlTag tag, const SmlContentTypeRef& ref);
  void ContentTypeRef(SmlTag tag, const std::optional<SmlContentTypeRef>& ref);
  void CtCaps(const std::vector<SmlCtCap>& caps);
  void Property(const SmlProperty& property);

  SmlXmlWriter& mWriter;
};
