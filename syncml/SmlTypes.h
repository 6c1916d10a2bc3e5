// Element structures of the SyncML vocabulary: the message header, the commands and their parts.
// They are plain values: copyable, comparable, owning everything they hold. The decoder hands
// each decoded command to its handler as a std::unique_ptr, so freeing a decoded structure is
// the end of that pointer's (or of whatever the handler moved it into) lifetime.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "syncml/SmlDevInf.h"
#include "syncml/SmlMetInf.h"
#include "syncml/SmlText.h"

// The protocol version of a message; it selects the SyncML namespace written on the root.
enum class SmlVersion : std::uint8_t { V10, V11, V12 };

// How the value of a Meta or Data element is held and written.
enum class SmlContentKind : std::uint8_t {
  Empty,      // absent: the element is omitted
  Plain,      // text, escaped on writing; in Data or Meta written as CDATA when it holds & < >
  Opaque,     // bytes, written like Plain
  Cdata,      // text always written as a CDATA section (split where it holds "]]>")
  Extension,  // a nested MetInf (in Meta) or DevInf (in Data) structure
};

// The content of a Meta or Data element. Reading gives Cdata when the content consisted of CDATA
// sections only (white space between them dropped), Extension for MetInf inside Meta and for a
// DevInf inside Data, and Plain otherwise (other markup inside Data is delivered as its verbatim
// text). An extension is immutable and shared between copies.
struct SmlPcdata {
  SmlContentKind kind = SmlContentKind::Empty;
  std::string text;                         // Plain, Opaque, Cdata
  std::shared_ptr<const SmlMetInf> metInf;  // Extension in a Meta
  std::shared_ptr<const SmlDevInf> devInf;  // Extension in a Data

  static SmlPcdata Plain(std::string value);
  static SmlPcdata Opaque(std::string value);
  static SmlPcdata Cdata(std::string value);
  static SmlPcdata Of(SmlMetInf value);
  static SmlPcdata Of(SmlDevInf value);

  bool IsPresent() const { return kind != SmlContentKind::Empty; }
  // Plain, Opaque or Cdata: `text` is the value.
  bool IsText() const;
  // The nested structure, or nullptr when this is not such an extension.
  const SmlMetInf* MetInf() const { return kind == SmlContentKind::Extension ? metInf.get() : nullptr; }
  const SmlDevInf* DevInf() const { return kind == SmlContentKind::Extension ? devInf.get() : nullptr; }

  // Same kind and same value; extensions are compared by content.
  bool operator==(const SmlPcdata& other) const;
};

struct SmlItem;

// <Filter>: Record and Field each hold one Item (kept as a list, empty when the element is absent).
struct SmlFilter {
  SmlPcdata meta;
  SmlText filterType;
  std::vector<SmlItem> record;
  std::vector<SmlItem> field;
  bool operator==(const SmlFilter&) const;
};

struct SmlTarget {
  SmlText locUri;
  SmlText locName;
  std::optional<SmlFilter> filter;
  bool operator==(const SmlTarget&) const = default;
};

struct SmlSource {
  SmlText locUri;
  SmlText locName;
  bool operator==(const SmlSource&) const = default;
};

struct SmlItem {
  std::optional<SmlTarget> target;
  std::optional<SmlSource> source;
  SmlPcdata meta;
  SmlPcdata data;
  bool moreData = false;  // <MoreData/>
  bool operator==(const SmlItem&) const = default;
};

// <Cred>: credentials, Meta with Format and Type, Data the encoded credentials.
struct SmlCred {
  SmlPcdata meta;
  SmlPcdata data;
  bool operator==(const SmlCred&) const = default;
};

// <Chal>: an authentication challenge.
struct SmlChal {
  SmlPcdata meta;
  bool operator==(const SmlChal&) const = default;
};

// <SyncHdr>. The strings are required: reading fails without them; writing always writes them.
struct SmlSyncHdr {
  std::string verDtd;
  std::string verProto;
  std::string sessionId;
  std::string msgId;
  SmlTarget target;
  SmlSource source;
  SmlText respUri;
  bool noResp = false;
  std::optional<SmlCred> cred;
  SmlPcdata meta;
  bool operator==(const SmlSyncHdr&) const = default;
};

// Add, Replace, Delete and Copy. Archive and SftDel belong to Delete but are read (and written,
// when set) for all four.
struct SmlItemCommand {
  std::string cmdId;
  bool noResp = false;
  bool archive = false;
  bool sftDel = false;
  std::optional<SmlCred> cred;
  SmlPcdata meta;
  std::vector<SmlItem> items;  // reading requires at least one
  bool operator==(const SmlItemCommand&) const = default;
};
struct SmlAdd : SmlItemCommand {};
struct SmlReplace : SmlItemCommand {};
struct SmlDelete : SmlItemCommand {};
struct SmlCopy : SmlItemCommand {};

struct SmlAlert {
  std::string cmdId;
  bool noResp = false;
  std::optional<SmlCred> cred;
  SmlPcdata data;  // the alert code
  std::vector<SmlItem> items;
  bool operator==(const SmlAlert&) const = default;
};

// Get and Put.
struct SmlAccessCommand {
  std::string cmdId;
  bool noResp = false;
  SmlText lang;
  std::optional<SmlCred> cred;
  SmlPcdata meta;
  std::vector<SmlItem> items;
  bool operator==(const SmlAccessCommand&) const = default;
};
struct SmlGet : SmlAccessCommand {};
struct SmlPut : SmlAccessCommand {};

struct SmlMapItem {
  std::optional<SmlTarget> target;
  std::optional<SmlSource> source;
  bool operator==(const SmlMapItem&) const = default;
};

struct SmlMap {
  std::string cmdId;
  SmlTarget target;
  SmlSource source;
  std::optional<SmlCred> cred;
  SmlPcdata meta;
  std::vector<SmlMapItem> mapItems;  // reading requires at least one
  bool operator==(const SmlMap&) const = default;
};

struct SmlResults {
  std::string cmdId;
  SmlText msgRef;
  SmlText cmdRef;
  SmlPcdata meta;
  std::vector<std::string> targetRefs;
  std::vector<std::string> sourceRefs;
  std::vector<SmlItem> items;
  bool operator==(const SmlResults&) const = default;
};

struct SmlStatus {
  std::string cmdId;
  SmlText msgRef;
  SmlText cmdRef;
  std::string cmd;
  std::vector<std::string> targetRefs;
  std::vector<std::string> sourceRefs;
  std::optional<SmlCred> cred;
  std::optional<SmlChal> chal;
  SmlPcdata data;  // the status code; reading requires it
  std::vector<SmlItem> items;
  bool operator==(const SmlStatus&) const = default;
};

// The part of a <Sync> before its contained commands.
struct SmlSync {
  SmlText cmdId;
  bool noResp = false;
  std::optional<SmlCred> cred;
  std::optional<SmlTarget> target;
  std::optional<SmlSource> source;
  SmlPcdata meta;
  SmlText numberOfChanges;
  bool operator==(const SmlSync&) const = default;
};

// The part of an <Atomic> or <Sequence> before its contained commands (read only).
struct SmlContainerCommand {
  std::string cmdId;
  bool noResp = false;
  SmlPcdata meta;
  bool operator==(const SmlContainerCommand&) const = default;
};
struct SmlAtomic : SmlContainerCommand {};
struct SmlSequence : SmlContainerCommand {};

// Any command the encoder writes as a whole (Sync is written with StartSync and EndSync instead).
using SmlCommand = std::variant<SmlAlert, SmlAdd, SmlReplace, SmlDelete, SmlCopy, SmlGet, SmlPut,
                                SmlMap, SmlResults, SmlStatus>;
