// Recursive-descent decoder of SyncML messages driven by tables of accepted and required children.
#include "syncml/SmlDecoder.h"

#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "syncml/SmlVocabulary.h"
#include "syncml/SmlXmlScanner.h"

namespace {

enum RuleFlag : std::uint8_t {
  kOnce = 0,      // at most one such child
  kRepeat = 1,    // any number
  kRequired = 2,  // at least one
};

// Where a command stands, which decides the commands allowed beside it.
enum class Container : std::uint8_t { Body, Sync, AtomicOrSequence };

bool Allows(Container container, SmlTag tag) {
  using Tag = SmlTag;
  switch (container) {
    case Container::Body:
      return tag == Tag::Alert || tag == Tag::Atomic || tag == Tag::Copy || tag == Tag::Exec || tag == Tag::Get ||
             tag == Tag::Map || tag == Tag::Put || tag == Tag::Results || tag == Tag::Search || tag == Tag::Sequence ||
             tag == Tag::Status || tag == Tag::Sync || tag == Tag::Add || tag == Tag::Replace || tag == Tag::Delete;
    case Container::Sync:
      return tag == Tag::Add || tag == Tag::Atomic || tag == Tag::Copy || tag == Tag::Delete || tag == Tag::Replace ||
             tag == Tag::Sequence;
    case Container::AtomicOrSequence:
      return tag == Tag::Add || tag == Tag::Replace || tag == Tag::Delete || tag == Tag::Copy || tag == Tag::Atomic ||
             tag == Tag::Map || tag == Tag::Sequence || tag == Tag::Sync || tag == Tag::Get || tag == Tag::Alert ||
             tag == Tag::Exec;
  }
  return false;
}

template <class M>
struct MemberTraits;
template <class C, class V>
struct MemberTraits<V C::*> {
  using Class = C;
};
template <auto Member>
using ClassOf = typename MemberTraits<decltype(Member)>::Class;

class MessageDecoder {
 public:
  // An open element.
  struct Frame {
    SmlTag tag = SmlTag::Unknown;
    std::string_view qname;
    std::size_t scopeMark = 0;  // namespace bindings in effect before the element
    const char* contentBegin = nullptr;
    bool selfClosing = false;
  };

  // One accepted child of a structure: its tag, how often it may come, and how it is read.
  template <class T>
  struct Rule {
    SmlTag tag;
    std::uint8_t flags;
    SmlRet (*read)(MessageDecoder&, Frame&, T&);
  };

  MessageDecoder(std::string_view message, const SmlHandlers& handlers, void* userContext)
      : mScanner(message), mHandlers(handlers), mUserContext(userContext) {}

  SmlRet Run();

  // Readers of one child element into the member that holds it.
  SmlRet Read(Frame& f, std::string& value) { return ReadString(f, value); }
  SmlRet Read(Frame& f, SmlText& value) {
    value.emplace();
    return ReadString(f, *value);
  }
  SmlRet Read(Frame& f, std::vector<std::string>& values) {
    values.emplace_back();
    return ReadString(f, values.back());
  }
  SmlRet Read(Frame& f, bool& flag) {
    flag = true;
    return ReadFlag(f);
  }
  SmlRet Read(Frame& f, SmlPcdata& content);
  template <class S>
  SmlRet Read(Frame& f, std::optional<S>& value) {
    value.emplace();
    return Decode(f, *value);
  }
  template <class S>
  SmlRet Read(Frame& f, std::vector<S>& values) {
    values.emplace_back();
    return Decode(f, values.back());
  }
  template <class S>
  SmlRet Read(Frame& f, S& value) {
    return Decode(f, value);
  }

  // The content of one element into its structure.
  SmlRet Decode(Frame& f, SmlTarget& target);
  SmlRet Decode(Frame& f, SmlSource& source);
  SmlRet Decode(Frame& f, SmlFilter& filter);
  SmlRet Decode(Frame& f, SmlItem& item);
  SmlRet Decode(Frame& f, SmlCred& cred);
  SmlRet Decode(Frame& f, SmlChal& chal);
  SmlRet Decode(Frame& f, SmlSyncHdr& header);
  SmlRet Decode(Frame& f, SmlItemCommand& command);
  SmlRet Decode(Frame& f, SmlAlert& alert);
  SmlRet Decode(Frame& f, SmlAccessCommand& command);
  SmlRet Decode(Frame& f, SmlMapItem& mapItem);
  SmlRet Decode(Frame& f, SmlMap& map);
  SmlRet Decode(Frame& f, SmlResults& results);
  SmlRet Decode(Frame& f, SmlStatus& status);
  SmlRet Decode(Frame& f, SmlMetInf& metInf);
  SmlRet Decode(Frame& f, SmlAnchor& anchor);
  SmlRet Decode(Frame& f, SmlMem& mem);
  SmlRet Decode(Frame& f, SmlDevInf& devInf);
  SmlRet Decode(Frame& f, SmlDataStore& store);
  SmlRet Decode(Frame& f, SmlContentTypeRef& ref);
  SmlRet Decode(Frame& f, SmlDsMem& dsMem);
  SmlRet Decode(Frame& f, SmlSyncCap& syncCap);
  SmlRet Decode(Frame& f, SmlFilterCap& filterCap);
  SmlRet Decode(Frame& f, SmlExt& ext);
  SmlRet Decode(Frame& f, SmlProperty& property);
  SmlRet Decode(Frame& f, SmlPropParam& param);

  // <Record> and <Field>: one or more Items.
  SmlRet ReadItemList(Frame& f, std::vector<SmlItem>& items);
  // <CTCap>: content types, each with its properties and their parameters.
  SmlRet ReadCtCap(Frame& f, std::vector<SmlCtCap>& caps);

 private:
  struct Piece {
    bool cdata;
    std::string_view text;
  };
  struct Binding {
    std::string_view prefix;
    SmlVocab vocab;
  };
  // What a leaf's content turned out to be.
  struct LeafContent {
    bool markup = false;     // it begins with the start tag `firstChild`
    bool cdataOnly = false;  // CDATA sections and white space only
    SmlToken firstChild;
  };

  SmlRet NextToken(SmlToken& token);
  SmlRet Open(const SmlToken& token, SmlVocab context, Frame& frame);
  void Close(const Frame& frame);
  SmlRet CloseWith(const Frame& frame, const SmlToken& endTag);
  bool ResolvePrefix(std::string_view prefix, SmlVocab& vocab) const;
  bool IsDevInfElement(const SmlToken& token) const;

  template <class Fn>
  SmlRet ForEachChild(Frame& parent, SmlVocab context, Fn&& onChild);
  template <class T, std::size_t N>
  SmlRet ApplyRule(const Rule<T> (&rules)[N], Frame& child, std::type_identity_t<T>& out, std::uint64_t& seen);
  template <class T, std::size_t N>
  static SmlRet CheckRequired(const Rule<T> (&rules)[N], std::uint64_t seen);
  template <class T, std::size_t N>
  SmlRet ReadStruct(Frame& f, SmlVocab context, const Rule<T> (&rules)[N], std::type_identity_t<T>& out);

  SmlRet ReadLeaf(Frame& f, std::string& text, LeafContent& content);
  SmlRet ReadString(Frame& f, std::string& value);
  SmlRet ReadVerbatim(Frame& f, const SmlToken& firstChild, std::string& value);
  SmlRet ReadFlag(Frame& f);
  SmlRet ReadDevInfData(Frame& f, SmlDevInf& devInf);

  SmlRet ReadHeader(Frame& f);
  SmlRet ReadBody(Frame& f);
  SmlRet ReadCommand(Frame& f, Container container);
  SmlRet ReadSync(Frame& f);
  template <class T>
  SmlRet ReadAtomicOrSequence(Frame& f, const SmlHandler<T>& start, const SmlEndHandler& end);
  template <class T>
  SmlRet DecodeAndCall(Frame& f, const SmlHandler<T>& handler);
  template <class Handler, class... Args>
  SmlRet Call(const Handler& handler, Args&&... args);

  SmlXmlScanner mScanner;
  const SmlHandlers& mHandlers;
  void* mUserContext;
  std::optional<SmlToken> mPending;  // a token read ahead and given back
  std::vector<Binding> mBindings;
  std::vector<Piece> mPieces;                 // scratch of ReadLeaf
  std::vector<std::string_view> mOpenNames;  // scratch of ReadVerbatim
  std::size_t mDepth = 0;
  std::size_t mElementCount = 0;
};

template <auto Member>
constexpr MessageDecoder::Rule<ClassOf<Member>> Field(SmlTag tag, std::uint8_t flags = kOnce) {
  return {tag, flags,
          [](MessageDecoder& d, MessageDecoder::Frame& f, ClassOf<Member>& x) { return d.Read(f, x.*Member); }};
}

// ---------------------------------------------------------------------------------------------
// Elements, namespaces and children

SmlRet MessageDecoder::NextToken(SmlToken& token) {
  if (mPending) {
    token = *mPending;
    mPending.reset();
    return SML_OK;
  }
  return mScanner.Next(token);
}

bool MessageDecoder::ResolvePrefix(std::string_view prefix, SmlVocab& vocab) const {
  for (auto binding = mBindings.rbegin(); binding != mBindings.rend(); ++binding) {
    if (binding->prefix == prefix) {
      vocab = binding->vocab;
      return true;
    }
  }
  vocab = SmlVocab::SyncMl;  // a message without any declaration is read as SyncML
  return prefix.empty();
}

SmlRet MessageDecoder::Open(const SmlToken& token, SmlVocab context, Frame& frame) {
  if (mDepth >= kSmlMaxDepth || mElementCount >= kSmlMaxElementsPerPart) return SML_ERR_LIMIT_EXCEEDED;
  ++mDepth;
  ++mElementCount;
  frame.scopeMark = mBindings.size();
  for (std::size_t i = 0; i < token.namespaceCount; ++i) {
    const std::optional<SmlVocab> vocab = SmlVocabOfNamespace(token.namespaces[i].value);
    if (!vocab) return SML_ERR_BAD_NAMESPACE;
    mBindings.push_back(Binding{token.namespaces[i].prefix, *vocab});
  }
  SmlVocab vocab = SmlVocab::SyncMl;
  if (!ResolvePrefix(token.prefix, vocab)) return SML_ERR_BAD_NAMESPACE;
  // Inside MetInf or DevInf content an element that did not switch away from SyncML is taken as
  // one of the surrounding vocabulary: servers often leave the namespace out there.
  const bool fits = vocab == context || vocab == SmlVocab::SyncMl;
  frame.tag = fits ? SmlLookupTag(context, token.localName) : SmlTag::Unknown;
  frame.qname = token.qname;
  frame.contentBegin = token.end;
  frame.selfClosing = token.selfClosing;
  return SML_OK;
}

void MessageDecoder::Close(const Frame& frame) {
  mBindings.resize(frame.scopeMark);
  --mDepth;
}

SmlRet MessageDecoder::CloseWith(const Frame& frame, const SmlToken& endTag) {
  if (endTag.qname != frame.qname) return SML_ERR_MALFORMED;
  Close(frame);
  return SML_OK;
}

bool MessageDecoder::IsDevInfElement(const SmlToken& token) const {
  if (token.localName != "DevInf") return false;
  std::optional<SmlVocab> vocab;
  for (std::size_t i = 0; i < token.namespaceCount; ++i) {
    if (token.namespaces[i].prefix == token.prefix) vocab = SmlVocabOfNamespace(token.namespaces[i].value);
  }
  if (!vocab) {
    SmlVocab inherited = SmlVocab::SyncMl;
    if (!ResolvePrefix(token.prefix, inherited)) return false;
    vocab = inherited;
  }
  return vocab == SmlVocab::DevInf || vocab == SmlVocab::SyncMl;
}

template <class Fn>
SmlRet MessageDecoder::ForEachChild(Frame& parent, SmlVocab context, Fn&& onChild) {
  if (parent.selfClosing) {
    Close(parent);
    return SML_OK;
  }
  SmlToken token;
  for (;;) {
    if (SmlRet ret = NextToken(token); ret != SML_OK) return ret;
    switch (token.kind) {
      case SmlTokenKind::Text:
      case SmlTokenKind::Cdata:
        if (!SmlIsWhitespace(token.text)) return SML_ERR_UNEXPECTED_CONTENT;
        break;
      case SmlTokenKind::EndTag:
        return CloseWith(parent, token);
      case SmlTokenKind::StartTag: {
        Frame child;
        if (SmlRet ret = Open(token, context, child); ret != SML_OK) return ret;
        if (child.tag == SmlTag::Unknown) return SML_ERR_UNEXPECTED_CONTENT;
        if (SmlRet ret = onChild(child); ret != SML_OK) return ret;
        break;
      }
      case SmlTokenKind::EndOfInput:
        return SML_ERR_MALFORMED;
    }
  }
}

template <class T, std::size_t N>
SmlRet MessageDecoder::ApplyRule(const Rule<T> (&rules)[N], Frame& child, std::type_identity_t<T>& out,
                                 std::uint64_t& seen) {
  static_assert(N <= 64, "the seen mask has 64 bits");
  for (std::size_t i = 0; i < N; ++i) {
    if (rules[i].tag != child.tag) continue;
    const std::uint64_t bit = std::uint64_t{1} << i;
    if ((seen & bit) != 0 && (rules[i].flags & kRepeat) == 0) return SML_ERR_UNEXPECTED_CONTENT;
    seen |= bit;
    return rules[i].read(*this, child, out);
  }
  return SML_ERR_UNEXPECTED_CONTENT;
}

template <class T, std::size_t N>
SmlRet MessageDecoder::CheckRequired(const Rule<T> (&rules)[N], std::uint64_t seen) {
  for (std::size_t i = 0; i < N; ++i) {
    if ((rules[i].flags & kRequired) != 0 && (seen & (std::uint64_t{1} << i)) == 0) return SML_ERR_MISSING_ELEMENT;
  }
  return SML_OK;
}

template <class T, std::size_t N>
SmlRet MessageDecoder::ReadStruct(Frame& f, SmlVocab context, const Rule<T> (&rules)[N], std::type_identity_t<T>& out) {
  std::uint64_t seen = 0;
  const SmlRet ret = ForEachChild(f, context, [&](Frame& child) { return ApplyRule(rules, child, out, seen); });
  if (ret != SML_OK) return ret;
  return CheckRequired(rules, seen);
}

// ---------------------------------------------------------------------------------------------
// Leaves

SmlRet MessageDecoder::ReadLeaf(Frame& f, std::string& text, LeafContent& content) {
  if (f.selfClosing) {
    Close(f);
    return SML_OK;
  }
  mPieces.clear();
  bool sawText = false;
  bool sawCdata = false;
  SmlToken& token = content.firstChild;
  for (;;) {
    if (SmlRet ret = NextToken(token); ret != SML_OK) return ret;
    switch (token.kind) {
      case SmlTokenKind::Text:
        mPieces.push_back(Piece{false, token.text});
        if (!sawText) sawText = !SmlIsWhitespace(token.text);
        break;
      case SmlTokenKind::Cdata:
        mPieces.push_back(Piece{true, token.text});
        sawCdata = true;
        break;
      case SmlTokenKind::StartTag:
        if (sawText || sawCdata) return SML_ERR_UNEXPECTED_CONTENT;
        content.markup = true;
        return SML_OK;
      case SmlTokenKind::EndTag: {
        if (SmlRet ret = CloseWith(f, token); ret != SML_OK) return ret;
        content.cdataOnly = sawCdata && !sawText;
        std::size_t size = 0;
        for (const Piece& piece : mPieces) size += piece.text.size();
        text.reserve(size);
        for (const Piece& piece : mPieces) {
          if (piece.cdata) {
            text.append(piece.text);
          } else if (!content.cdataOnly) {
            SmlAppendDecodedText(text, piece.text);
          }
        }
        return SML_OK;
      }
      case SmlTokenKind::EndOfInput:
        return SML_ERR_MALFORMED;
    }
  }
}

SmlRet MessageDecoder::ReadString(Frame& f, std::string& value) {
  LeafContent content;
  if (SmlRet ret = ReadLeaf(f, value, content); ret != SML_OK) return ret;
  if (!content.markup) return SML_OK;
  return ReadVerbatim(f, content.firstChild, value);
}

// Everything from the end of the leaf's start tag to its own end tag, as it stands.
SmlRet MessageDecoder::ReadVerbatim(Frame& f, const SmlToken& firstChild, std::string& value) {
  mOpenNames.clear();
  if (!firstChild.selfClosing) mOpenNames.push_back(firstChild.qname);
  SmlToken token;
  for (;;) {
    if (SmlRet ret = NextToken(token); ret != SML_OK) return ret;
    switch (token.kind) {
      case SmlTokenKind::StartTag:
        if (token.selfClosing) break;
        if (mDepth + mOpenNames.size() >= kSmlMaxDepth) return SML_ERR_LIMIT_EXCEEDED;
        mOpenNames.push_back(token.qname);
        break;
      case SmlTokenKind::EndTag:
        if (mOpenNames.empty()) {
          if (SmlRet ret = CloseWith(f, token); ret != SML_OK) return ret;
          value.assign(f.contentBegin, token.begin);
          return SML_OK;
        }
        if (token.qname != mOpenNames.back()) return SML_ERR_MALFORMED;
        mOpenNames.pop_back();
        break;
      case SmlTokenKind::Text:
      case SmlTokenKind::Cdata:
        break;
      case SmlTokenKind::EndOfInput:
        return SML_ERR_MALFORMED;
    }
  }
}

SmlRet MessageDecoder::ReadFlag(Frame& f) {
  if (f.selfClosing) {
    Close(f);
    return SML_OK;
  }
  SmlToken token;
  for (;;) {
    if (SmlRet ret = NextToken(token); ret != SML_OK) return ret;
    switch (token.kind) {
      case SmlTokenKind::Text:
        if (!SmlIsWhitespace(token.text)) return SML_ERR_UNEXPECTED_CONTENT;
        break;
      case SmlTokenKind::EndTag:
        return CloseWith(f, token);
      case SmlTokenKind::StartTag:
      case SmlTokenKind::Cdata:
        return SML_ERR_UNEXPECTED_CONTENT;
      case SmlTokenKind::EndOfInput:
        return SML_ERR_MALFORMED;
    }
  }
}

SmlRet MessageDecoder::Read(Frame& f, SmlPcdata& content) {
  LeafContent leaf;
  std::string text;
  if (SmlRet ret = ReadLeaf(f, text, leaf); ret != SML_OK) return ret;
  if (!leaf.markup) {
    content.kind = leaf.cdataOnly ? SmlContentKind::Cdata : SmlContentKind::Plain;
    content.text = std::move(text);
    return SML_OK;
  }
  if (f.tag == SmlTag::Meta) {
    mPending = leaf.firstChild;
    auto metInf = std::make_shared<SmlMetInf>();
    const SmlRet ret = Decode(f, *metInf);
    content.kind = SmlContentKind::Extension;
    content.metInf = std::move(metInf);
    return ret;
  }
  if (f.tag == SmlTag::Data && IsDevInfElement(leaf.firstChild)) {
    mPending = leaf.firstChild;
    auto devInf = std::make_shared<SmlDevInf>();
    const SmlRet ret = ReadDevInfData(f, *devInf);
    content.kind = SmlContentKind::Extension;
    content.devInf = std::move(devInf);
    return ret;
  }
  content.kind = SmlContentKind::Plain;
  return ReadVerbatim(f, leaf.firstChild, content.text);
}

SmlRet MessageDecoder::ReadDevInfData(Frame& f, SmlDevInf& devInf) {
  bool seen = false;
  return ForEachChild(f, SmlVocab::DevInf, [&](Frame& child) -> SmlRet {
    if (child.tag != SmlTag::DiDevInf || seen) return SML_ERR_UNEXPECTED_CONTENT;
    seen = true;
    return Decode(child, devInf);
  });
}

// ---------------------------------------------------------------------------------------------
// SyncML structures

using Tag = SmlTag;
constexpr SmlVocab kSyncMl = SmlVocab::SyncMl;
constexpr std::uint8_t kSomeOf = kRepeat | kRequired;

SmlRet MessageDecoder::Decode(Frame& f, SmlTarget& target) {
  static constexpr Rule<SmlTarget> kRules[] = {
      Field<&SmlTarget::locUri>(Tag::LocURI), Field<&SmlTarget::locName>(Tag::LocName),
      Field<&SmlTarget::filter>(Tag::Filter)};
  return ReadStruct(f, kSyncMl, kRules, target);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlSource& source) {
  static constexpr Rule<SmlSource> kRules[] = {Field<&SmlSource::locUri>(Tag::LocURI),
                                               Field<&SmlSource::locName>(Tag::LocName)};
  return ReadStruct(f, kSyncMl, kRules, source);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlFilter& filter) {
  static constexpr Rule<SmlFilter> kRules[] = {
      Field<&SmlFilter::meta>(Tag::Meta), Field<&SmlFilter::filterType>(Tag::FilterType),
      {Tag::Record, kOnce, [](MessageDecoder& d, Frame& c, SmlFilter& x) { return d.ReadItemList(c, x.record); }},
      {Tag::Field, kOnce, [](MessageDecoder& d, Frame& c, SmlFilter& x) { return d.ReadItemList(c, x.field); }}};
  return ReadStruct(f, kSyncMl, kRules, filter);
}

SmlRet MessageDecoder::ReadItemList(Frame& f, std::vector<SmlItem>& items) {
  const SmlRet ret = ForEachChild(f, kSyncMl, [&](Frame& child) -> SmlRet {
    if (child.tag != Tag::Item) return SML_ERR_UNEXPECTED_CONTENT;
    items.emplace_back();
    return Decode(child, items.back());
  });
  if (ret != SML_OK) return ret;
  return items.empty() ? SML_ERR_MISSING_ELEMENT : SML_OK;
}

SmlRet MessageDecoder::Decode(Frame& f, SmlItem& item) {
  static constexpr Rule<SmlItem> kRules[] = {
      Field<&SmlItem::target>(Tag::Target), Field<&SmlItem::source>(Tag::Source), Field<&SmlItem::meta>(Tag::Meta),
      Field<&SmlItem::data>(Tag::Data), Field<&SmlItem::moreData>(Tag::MoreData)};
  return ReadStruct(f, kSyncMl, kRules, item);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlCred& cred) {
  static constexpr Rule<SmlCred> kRules[] = {Field<&SmlCred::meta>(Tag::Meta), Field<&SmlCred::data>(Tag::Data)};
  return ReadStruct(f, kSyncMl, kRules, cred);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlChal& chal) {
  static constexpr Rule<SmlChal> kRules[] = {Field<&SmlChal::meta>(Tag::Meta)};
  return ReadStruct(f, kSyncMl, kRules, chal);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlSyncHdr& header) {
  static constexpr Rule<SmlSyncHdr> kRules[] = {
      Field<&SmlSyncHdr::verDtd>(Tag::VerDTD, kRequired), Field<&SmlSyncHdr::verProto>(Tag::VerProto, kRequired),
      Field<&SmlSyncHdr::sessionId>(Tag::SessionID, kRequired), Field<&SmlSyncHdr::msgId>(Tag::MsgID, kRequired),
      Field<&SmlSyncHdr::target>(Tag::Target, kRequired), Field<&SmlSyncHdr::source>(Tag::Source, kRequired),
      Field<&SmlSyncHdr::respUri>(Tag::RespURI), Field<&SmlSyncHdr::noResp>(Tag::NoResp),
      Field<&SmlSyncHdr::cred>(Tag::Cred), Field<&SmlSyncHdr::meta>(Tag::Meta)};
  return ReadStruct(f, kSyncMl, kRules, header);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlItemCommand& command) {
  using C = SmlItemCommand;
  static constexpr Rule<C> kRules[] = {
      Field<&C::cmdId>(Tag::CmdID, kRequired), Field<&C::noResp>(Tag::NoResp), Field<&C::archive>(Tag::Archive),
      Field<&C::sftDel>(Tag::SftDel), Field<&C::cred>(Tag::Cred), Field<&C::meta>(Tag::Meta),
      Field<&C::items>(Tag::Item, kSomeOf)};
  return ReadStruct(f, kSyncMl, kRules, command);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlAlert& alert) {
  static constexpr Rule<SmlAlert> kRules[] = {
      Field<&SmlAlert::cmdId>(Tag::CmdID, kRequired), Field<&SmlAlert::noResp>(Tag::NoResp),
      Field<&SmlAlert::cred>(Tag::Cred), Field<&SmlAlert::data>(Tag::Data),
      Field<&SmlAlert::items>(Tag::Item, kRepeat)};
  return ReadStruct(f, kSyncMl, kRules, alert);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlAccessCommand& command) {
  using C = SmlAccessCommand;
  static constexpr Rule<C> kRules[] = {
      Field<&C::cmdId>(Tag::CmdID, kRequired), Field<&C::noResp>(Tag::NoResp), Field<&C::lang>(Tag::Lang),
      Field<&C::cred>(Tag::Cred), Field<&C::meta>(Tag::Meta), Field<&C::items>(Tag::Item, kRepeat)};
  return ReadStruct(f, kSyncMl, kRules, command);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlMapItem& mapItem) {
  static constexpr Rule<SmlMapItem> kRules[] = {Field<&SmlMapItem::target>(Tag::Target),
                                                Field<&SmlMapItem::source>(Tag::Source)};
  return ReadStruct(f, kSyncMl, kRules, mapItem);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlMap& map) {
  static constexpr Rule<SmlMap> kRules[] = {
      Field<&SmlMap::cmdId>(Tag::CmdID, kRequired), Field<&SmlMap::target>(Tag::Target, kRequired),
      Field<&SmlMap::source>(Tag::Source, kRequired), Field<&SmlMap::cred>(Tag::Cred), Field<&SmlMap::meta>(Tag::Meta),
      Field<&SmlMap::mapItems>(Tag::MapItem, kSomeOf)};
  return ReadStruct(f, kSyncMl, kRules, map);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlResults& results) {
  using R = SmlResults;
  static constexpr Rule<R> kRules[] = {
      Field<&R::cmdId>(Tag::CmdID, kRequired), Field<&R::msgRef>(Tag::MsgRef), Field<&R::cmdRef>(Tag::CmdRef),
      Field<&R::meta>(Tag::Meta), Field<&R::targetRefs>(Tag::TargetRef, kRepeat),
      Field<&R::sourceRefs>(Tag::SourceRef, kRepeat), Field<&R::items>(Tag::Item, kRepeat)};
  return ReadStruct(f, kSyncMl, kRules, results);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlStatus& status) {
  using S = SmlStatus;
  static constexpr Rule<S> kRules[] = {
      Field<&S::cmdId>(Tag::CmdID, kRequired), Field<&S::msgRef>(Tag::MsgRef), Field<&S::cmdRef>(Tag::CmdRef),
      Field<&S::cmd>(Tag::Cmd, kRequired), Field<&S::targetRefs>(Tag::TargetRef, kRepeat),
      Field<&S::sourceRefs>(Tag::SourceRef, kRepeat), Field<&S::cred>(Tag::Cred), Field<&S::chal>(Tag::Chal),
      Field<&S::data>(Tag::Data, kRequired), Field<&S::items>(Tag::Item, kRepeat)};
  return ReadStruct(f, kSyncMl, kRules, status);
}

// ---------------------------------------------------------------------------------------------
// MetInf and DevInf structures

constexpr SmlVocab kMetInf = SmlVocab::MetInf;
constexpr SmlVocab kDevInf = SmlVocab::DevInf;

SmlRet MessageDecoder::Decode(Frame& f, SmlMetInf& metInf) {
  using M = SmlMetInf;
  static constexpr Rule<M> kRules[] = {
      Field<&M::format>(Tag::MiFormat), Field<&M::type>(Tag::MiType), Field<&M::mark>(Tag::MiMark),
      Field<&M::size>(Tag::MiSize), Field<&M::anchor>(Tag::MiAnchor), Field<&M::version>(Tag::MiVersion),
      Field<&M::nextNonce>(Tag::MiNextNonce), Field<&M::maxMsgSize>(Tag::MiMaxMsgSize),
      Field<&M::maxObjSize>(Tag::MiMaxObjSize), Field<&M::emi>(Tag::MiEMI, kRepeat), Field<&M::mem>(Tag::MiMem),
      // A <MetInf> wrapper adds its children to the same structure.
      {Tag::MiMetInf, kRepeat, [](MessageDecoder& d, Frame& c, M& x) { return d.Decode(c, x); }}};
  return ReadStruct(f, kMetInf, kRules, metInf);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlAnchor& anchor) {
  static constexpr Rule<SmlAnchor> kRules[] = {Field<&SmlAnchor::last>(Tag::MiLast),
                                               Field<&SmlAnchor::next>(Tag::MiNext)};
  return ReadStruct(f, kMetInf, kRules, anchor);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlMem& mem) {
  static constexpr Rule<SmlMem> kRules[] = {Field<&SmlMem::sharedMem>(Tag::MiSharedMem),
                                            Field<&SmlMem::freeMem>(Tag::MiFreeMem),
                                            Field<&SmlMem::freeId>(Tag::MiFreeID)};
  return ReadStruct(f, kMetInf, kRules, mem);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlDevInf& devInf) {
  using D = SmlDevInf;
  static constexpr Rule<D> kRules[] = {
      Field<&D::verDtd>(Tag::DiVerDTD), Field<&D::man>(Tag::DiMan), Field<&D::mod>(Tag::DiMod),
      Field<&D::oem>(Tag::DiOEM), Field<&D::fwV>(Tag::DiFwV), Field<&D::swV>(Tag::DiSwV), Field<&D::hwV>(Tag::DiHwV),
      Field<&D::devId>(Tag::DiDevID), Field<&D::devTyp>(Tag::DiDevTyp), Field<&D::utc>(Tag::DiUTC),
      Field<&D::supportLargeObjs>(Tag::DiSupportLargeObjs),
      Field<&D::supportNumberOfChanges>(Tag::DiSupportNumberOfChanges),
      Field<&D::dataStores>(Tag::DiDataStore, kRepeat),
      {Tag::DiCTCap, kRepeat, [](MessageDecoder& d, Frame& c, D& x) { return d.ReadCtCap(c, x.ctCaps); }},
      Field<&D::exts>(Tag::DiExt, kRepeat)};
  return ReadStruct(f, kDevInf, kRules, devInf);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlDataStore& store) {
  using S = SmlDataStore;
  static constexpr Rule<S> kRules[] = {
      Field<&S::sourceRef>(Tag::DiSourceRef), Field<&S::displayName>(Tag::DiDisplayName),
      Field<&S::maxGuidSize>(Tag::DiMaxGUIDSize), Field<&S::rxPref>(Tag::DiRxPref), Field<&S::rx>(Tag::DiRx, kRepeat),
      Field<&S::txPref>(Tag::DiTxPref), Field<&S::tx>(Tag::DiTx, kRepeat),
      {Tag::DiCTCap, kRepeat, [](MessageDecoder& d, Frame& c, S& x) { return d.ReadCtCap(c, x.ctCaps); }},
      Field<&S::dsMem>(Tag::DiDSMem), Field<&S::syncCap>(Tag::DiSyncCap), Field<&S::filterRx>(Tag::DiFilterRx, kRepeat),
      Field<&S::filterCaps>(Tag::DiFilterCap, kRepeat)};
  return ReadStruct(f, kDevInf, kRules, store);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlContentTypeRef& ref) {
  static constexpr Rule<SmlContentTypeRef> kRules[] = {Field<&SmlContentTypeRef::ctType>(Tag::DiCTType),
                                                       Field<&SmlContentTypeRef::verCt>(Tag::DiVerCT)};
  return ReadStruct(f, kDevInf, kRules, ref);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlDsMem& dsMem) {
  static constexpr Rule<SmlDsMem> kRules[] = {Field<&SmlDsMem::sharedMem>(Tag::DiSharedMem),
                                              Field<&SmlDsMem::maxMem>(Tag::DiMaxMem),
                                              Field<&SmlDsMem::maxId>(Tag::DiMaxID)};
  return ReadStruct(f, kDevInf, kRules, dsMem);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlSyncCap& syncCap) {
  static constexpr Rule<SmlSyncCap> kRules[] = {Field<&SmlSyncCap::syncTypes>(Tag::DiSyncType, kRepeat)};
  return ReadStruct(f, kDevInf, kRules, syncCap);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlFilterCap& filterCap) {
  using C = SmlFilterCap;
  static constexpr Rule<C> kRules[] = {Field<&C::ctType>(Tag::DiCTType), Field<&C::verCt>(Tag::DiVerCT),
                                       Field<&C::filterKeywords>(Tag::DiFilterKeyword, kRepeat),
                                       Field<&C::propNames>(Tag::DiPropName, kRepeat)};
  return ReadStruct(f, kDevInf, kRules, filterCap);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlExt& ext) {
  static constexpr Rule<SmlExt> kRules[] = {Field<&SmlExt::xNam>(Tag::DiXNam),
                                            Field<&SmlExt::xVals>(Tag::DiXVal, kRepeat)};
  return ReadStruct(f, kDevInf, kRules, ext);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlProperty& property) {
  using P = SmlProperty;
  static constexpr Rule<P> kRules[] = {
      Field<&P::propName>(Tag::DiPropName), Field<&P::valEnums>(Tag::DiValEnum, kRepeat),
      Field<&P::dataType>(Tag::DiDataType), Field<&P::size>(Tag::DiSize), Field<&P::maxOccur>(Tag::DiMaxOccur),
      Field<&P::displayName>(Tag::DiDisplayName), Field<&P::params>(Tag::DiPropParam, kRepeat)};
  return ReadStruct(f, kDevInf, kRules, property);
}

SmlRet MessageDecoder::Decode(Frame& f, SmlPropParam& param) {
  using P = SmlPropParam;
  static constexpr Rule<P> kRules[] = {Field<&P::paramName>(Tag::DiParamName),
                                       Field<&P::valEnums>(Tag::DiValEnum, kRepeat),
                                       Field<&P::dataType>(Tag::DiDataType), Field<&P::displayName>(Tag::DiDisplayName)};
  return ReadStruct(f, kDevInf, kRules, param);
}

// The flat form lists CTType, then PropName with its ValEnum/DataType/Size/DisplayName, then
// ParamName with its own; the nested form wraps properties in <Property> and parameters in
// <PropParam>. Both are read into the same structures.
SmlRet MessageDecoder::ReadCtCap(Frame& f, std::vector<SmlCtCap>& caps) {
  const std::size_t first = caps.size();
  bool inParam = false;
  return ForEachChild(f, kDevInf, [&](Frame& child) -> SmlRet {
    if (child.tag == Tag::DiCTType) {
      caps.emplace_back();
      inParam = false;
      return Read(child, caps.back().ctType);
    }
    if (caps.size() == first) return SML_ERR_UNEXPECTED_CONTENT;
    SmlCtCap& cap = caps.back();
    if (child.tag == Tag::DiVerCT) return Read(child, cap.verCt);
    if (child.tag == Tag::DiPropName || child.tag == Tag::DiProperty) {
      cap.properties.emplace_back();
      inParam = false;
      if (child.tag == Tag::DiProperty) return Decode(child, cap.properties.back());
      return Read(child, cap.properties.back().propName);
    }
    if (cap.properties.empty()) return SML_ERR_UNEXPECTED_CONTENT;
    SmlProperty& property = cap.properties.back();
    if (child.tag == Tag::DiParamName) {
      property.params.emplace_back();
      inParam = true;
      return Read(child, property.params.back().paramName);
    }
    if (child.tag == Tag::DiSize) return Read(child, property.size);
    if (child.tag == Tag::DiMaxOccur) return Read(child, property.maxOccur);
    const bool toParam = inParam && !property.params.empty();
    if (child.tag == Tag::DiValEnum) return Read(child, toParam ? property.params.back().valEnums : property.valEnums);
    if (child.tag == Tag::DiDataType) return Read(child, toParam ? property.params.back().dataType : property.dataType);
    if (child.tag == Tag::DiDisplayName) {
      return Read(child, toParam ? property.params.back().displayName : property.displayName);
    }
    return SML_ERR_UNEXPECTED_CONTENT;
  });
}

// ---------------------------------------------------------------------------------------------
// Message, body and commands

template <class Handler, class... Args>
SmlRet MessageDecoder::Call(const Handler& handler, Args&&... args) {
  if (!handler) return SML_ERR_NOT_HANDLED;
  return handler(mUserContext, std::forward<Args>(args)...);
}

SmlRet MessageDecoder::Run() {
  if (SmlRet ret = mScanner.ReadProlog(); ret != SML_OK) return ret;
  SmlToken token;
  if (SmlRet ret = NextToken(token); ret != SML_OK) return ret;
  if (token.kind != SmlTokenKind::StartTag) return SML_ERR_MALFORMED;
  Frame root;
  if (SmlRet ret = Open(token, kSyncMl, root); ret != SML_OK) return ret;
  if (root.tag != Tag::SyncML) return SML_ERR_UNEXPECTED_CONTENT;
  bool sawHeader = false;
  bool sawBody = false;
  const SmlRet ret = ForEachChild(root, kSyncMl, [&](Frame& child) -> SmlRet {
    if (child.tag == Tag::SyncHdr && !sawHeader && !sawBody) {
      sawHeader = true;
      return ReadHeader(child);
    }
    if (child.tag == Tag::SyncBody && !sawBody) {
      if (!sawHeader) return SML_ERR_MISSING_ELEMENT;
      sawBody = true;
      return ReadBody(child);
    }
    return SML_ERR_UNEXPECTED_CONTENT;
  });
  if (ret != SML_OK) return ret;
  if (!sawHeader || !sawBody) return SML_ERR_MISSING_ELEMENT;
  return mScanner.ReadEpilog();
}

SmlRet MessageDecoder::ReadHeader(Frame& f) {
  mElementCount = 1;
  auto header = std::make_unique<SmlSyncHdr>();
  if (SmlRet ret = Decode(f, *header); ret != SML_OK) return ret;
  return Call(mHandlers.startMessage, std::move(header));
}

SmlRet MessageDecoder::ReadBody(Frame& f) {
  bool final = false;
  const SmlRet ret = ForEachChild(f, kSyncMl, [&](Frame& child) -> SmlRet {
    if (child.tag != Tag::Final) return ReadCommand(child, Container::Body);
    if (final) return SML_ERR_UNEXPECTED_CONTENT;
    final = true;
    return ReadFlag(child);
  });
  if (ret != SML_OK) return ret;
  return Call(mHandlers.endMessage, final);
}

template <class T>
SmlRet MessageDecoder::DecodeAndCall(Frame& f, const SmlHandler<T>& handler) {
  auto element = std::make_unique<T>();
  if (SmlRet ret = Decode(f, *element); ret != SML_OK) return ret;
  return Call(handler, std::move(element));
}

SmlRet MessageDecoder::ReadCommand(Frame& f, Container container) {
  if (!Allows(container, f.tag)) return SML_ERR_UNEXPECTED_CONTENT;
  mElementCount = 1;
  const SmlHandlers& h = mHandlers;
  const SmlTag tag = f.tag;
  if (tag == Tag::Add) return DecodeAndCall(f, h.addCmd);
  if (tag == Tag::Alert) return DecodeAndCall(f, h.alertCmd);
  if (tag == Tag::Copy) return DecodeAndCall(f, h.copyCmd);
  if (tag == Tag::Delete) return DecodeAndCall(f, h.deleteCmd);
  if (tag == Tag::Get) return DecodeAndCall(f, h.getCmd);
  if (tag == Tag::Map) return DecodeAndCall(f, h.mapCmd);
  if (tag == Tag::Put) return DecodeAndCall(f, h.putCmd);
  if (tag == Tag::Replace) return DecodeAndCall(f, h.replaceCmd);
  if (tag == Tag::Results) return DecodeAndCall(f, h.resultsCmd);
  if (tag == Tag::Status) return DecodeAndCall(f, h.statusCmd);
  if (tag == Tag::Sync) return ReadSync(f);
  if (tag == Tag::Atomic) return ReadAtomicOrSequence(f, h.startAtomic, h.endAtomic);
  if (tag == Tag::Sequence) return ReadAtomicOrSequence(f, h.startSequence, h.endSequence);
  return SML_ERR_NOT_HANDLED;  // Exec and Search have no handler
}

SmlRet MessageDecoder::ReadSync(Frame& f) {
  static constexpr Rule<SmlSync> kRules[] = {
      Field<&SmlSync::cmdId>(Tag::CmdID), Field<&SmlSync::noResp>(Tag::NoResp), Field<&SmlSync::cred>(Tag::Cred),
      Field<&SmlSync::target>(Tag::Target), Field<&SmlSync::source>(Tag::Source), Field<&SmlSync::meta>(Tag::Meta),
      Field<&SmlSync::numberOfChanges>(Tag::NumberOfChanges)};
  auto sync = std::make_unique<SmlSync>();
  std::uint64_t seen = 0;
  bool started = false;
  auto start = [&] {
    started = true;
    return Call(mHandlers.startSync, std::move(sync));
  };
  SmlRet ret = ForEachChild(f, kSyncMl, [&](Frame& child) -> SmlRet {
    if (Allows(Container::Sync, child.tag)) {
      if (!started) {
        if (SmlRet startRet = start(); startRet != SML_OK) return startRet;
      }
      return ReadCommand(child, Container::Sync);
    }
    if (started) return SML_ERR_UNEXPECTED_CONTENT;  // the Sync's own children come first
    return ApplyRule(kRules, child, *sync, seen);
  });
  if (ret == SML_OK && !started) ret = start();
  if (ret != SML_OK) return ret;
  return Call(mHandlers.endSync);
}

template <class T>
SmlRet MessageDecoder::ReadAtomicOrSequence(Frame& f, const SmlHandler<T>& startHandler,
                                            const SmlEndHandler& endHandler) {
  using C = SmlContainerCommand;
  static constexpr Rule<C> kRules[] = {Field<&C::cmdId>(SmlTag::CmdID, kRequired), Field<&C::noResp>(SmlTag::NoResp),
                                       Field<&C::meta>(SmlTag::Meta)};
  auto element = std::make_unique<T>();
  std::uint64_t seen = 0;
  bool started = false;
  auto start = [&]() -> SmlRet {
    started = true;
    if (SmlRet ret = CheckRequired(kRules, seen); ret != SML_OK) return ret;
    return Call(startHandler, std::move(element));
  };
  SmlRet ret = ForEachChild(f, kSyncMl, [&](Frame& child) -> SmlRet {
    if (Allows(Container::AtomicOrSequence, child.tag)) {
      if (!started) {
        if (SmlRet startRet = start(); startRet != SML_OK) return startRet;
      }
      return ReadCommand(child, Container::AtomicOrSequence);
    }
    if (started) return SML_ERR_UNEXPECTED_CONTENT;
    return ApplyRule(kRules, child, *element, seen);
  });
  if (ret == SML_OK && !started) ret = start();
  if (ret != SML_OK) return ret;
  return Call(endHandler);
}

}  // namespace

SmlRet SmlDecodeMessage(std::string_view message, const SmlHandlers& handlers, void* userContext) {
  MessageDecoder decoder(message, handlers, userContext);
  return decoder.Run();
}
