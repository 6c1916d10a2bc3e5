// Test helpers for the address book: a temporary book reached through the library setting, and
// short forms of the calls the tests make through the exported interface.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/wab/WabApi.h"
#include "platform/wab/WabConnection.h"
#include "tests/support/TempDir.h"

using EntryBytes = std::vector<BYTE>;

// A temporary folder with a setting file naming the built library and the book path in the
// environment ($LARK_WAB_CONF, $LARK_WAB_ADDRESSBOOK, $XDG_DATA_HOME all point into it).
class TestBook {
 public:
  TestBook();
  const std::string& BookPath() const { return mBookPath; }
  const TempDir& Dir() const { return mDir; }
  // A connection as the adapter opens it (setting, library, WABOpen, PAB, container).
  std::unique_ptr<WabConnection> Connect() const;
  // Rewrites the setting file with `content`.
  void WriteSetting(const std::string& content) const;

 private:
  TempDir mDir;
  std::string mBookPath;
  ScopedEnv mSetting;
  ScopedEnv mBook;
  ScopedEnv mDataHome;
};

// Caller-side property values; the builder keeps the data the values point at.
class PropValues {
 public:
  PropValues& Text(ULONG tag, const std::string& utf8);      // PT_UNICODE (or PT_STRING8 by tag)
  PropValues& Texts(ULONG tag, const std::vector<std::string>& utf8);  // PT_MV_UNICODE / PT_MV_STRING8
  PropValues& Long(ULONG tag, LONG value);
  PropValues& Bool(ULONG tag, bool value);
  PropValues& Time(ULONG tag, LONGLONG fileTime);
  PropValues& Binary(ULONG tag, const EntryBytes& bytes);
  PropValues& Binaries(ULONG tag, const std::vector<EntryBytes>& values);
  PropValues& Longs(ULONG tag, const std::vector<LONG>& values);
  PropValues& Raw(const SPropValue& value);

  ULONG Count() const { return static_cast<ULONG>(mValues.size()); }
  SPropValue* Data() { return mValues.data(); }

 private:
  std::vector<SPropValue> mValues;
  std::deque<std::u16string> mWide;
  std::deque<std::string> mNarrow;
  std::deque<std::vector<LPWSTR>> mWideLists;
  std::deque<std::vector<LPSTR>> mNarrowLists;
  std::deque<EntryBytes> mBytes;
  std::deque<std::vector<SBinary>> mBinaryLists;
  std::deque<std::vector<LONG>> mLongLists;
};

// A tag list usable as LPSPropTagArray.
class TagList {
 public:
  TagList(std::initializer_list<ULONG> tags);
  SPropTagArray* Get() { return reinterpret_cast<SPropTagArray*>(mWords.data()); }

 private:
  std::vector<ULONG> mWords;
};

// Creates an entry from the container's template (PR_DEF_CREATE_MAILUSER or PR_DEF_CREATE_DL),
// sets `values`, saves it and returns its PR_ENTRYID. Fails the test on any error.
EntryBytes CreateEntry(WabConnection& book, ULONG templateTag, PropValues values);
// The creation template's identifier from the container.
EntryBytes TemplateId(WabConnection& book, ULONG templateTag);
// Opens an entry; null when OpenEntry fails (its result in *result when given).
IMAPIProp* OpenEntry(WabConnection& book, const EntryBytes& id, ULONG* objectType = nullptr, HRESULT* result = nullptr);

// One property through GetProps with MAPI_UNICODE: the text (UTF-8), binary, long or time;
// nullopt when the object does not have it.
std::optional<std::string> GetText(WabConnection& book, IMAPIProp* object, ULONG tag);
std::optional<EntryBytes> GetBinary(WabConnection& book, IMAPIProp* object, ULONG tag);
std::optional<LONGLONG> GetTime(WabConnection& book, IMAPIProp* object, ULONG tag);

// The container's entries, walking its contents table one row at a time: (entry id, object type,
// display name). Empty when the table reports MAPI_E_NOT_FOUND.
struct TableRow {
  EntryBytes id;
  ULONG objectType;
  std::string displayName;
};
std::vector<TableRow> WalkContents(WabConnection& book);

// The entry identifier as the tool prints it (lower-case hex).
std::string HexOf(const EntryBytes& bytes);
