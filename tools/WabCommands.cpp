// larkstore wab: list, show, add, change and delete address book entries by property name, through
// the same library and setting the Windows Contacts adapter uses.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Format.h"
#include "common/StringTable.h"
#include "common/TextCodec.h"
#include "platform/wab/WabConnection.h"
#include "platform/wab/WabPropertyNames.h"
#include "platform/wab/WabPtr.h"
#include "platform/wab/WabSetting.h"
#include "tools/ToolCommands.h"
#include "tools/ToolOutput.h"

namespace {

using Bytes = std::vector<BYTE>;

// A failure worth a message on stderr and exit status 1.
struct CommandError {
  std::string message;
};

int Usage() {
  std::fputs(
      "usage: larkstore wab [--book FILE] <command> [args...]\n"
      "  list                          entries: identifier, kind, display name\n"
      "  show ENTRY                    every property as NAME=VALUE\n"
      "  add [--group] NAME=VALUE...   a new contact (or group); prints its identifier\n"
      "  set ENTRY NAME=VALUE...       changes properties; a NAME given again adds to a multi-valued one\n"
      "  unset ENTRY NAME...           removes properties\n"
      "  delete ENTRY...               deletes entries\n"
      "  import FILE.vcf               adds each card of the file as the sync writes a server's contact\n"
      "  export [FILE.vcf]             every contact as the sync sends it (stdout without FILE); gives\n"
      "                                contacts without one their identifier and e-mail types, as a sync does\n"
      "ENTRY is an identifier as list prints it, or NAME=VALUE of a text property one entry has.\n"
      "NAME is a property name (PR_DISPLAY_NAME, PR_ZEP_ENTRYID, ...) or a tag such as 0x3A4F001F.\n"
      "Texts are UTF-8, binaries hexadecimal, times 64-bit file times, booleans 0 or 1.\n",
      stderr);
  return 2;
}

std::string Hex(const BYTE* bytes, ULONG size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (ULONG i = 0; i < size; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 0xF];
  }
  return hex;
}

std::optional<Bytes> ParseHex(const std::string& text) {
  if (text.size() % 2 != 0) return std::nullopt;
  Bytes bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    char* end = nullptr;
    const std::string pair = text.substr(i, 2);
    const unsigned long value = std::strtoul(pair.c_str(), &end, 16);
    if (end != pair.c_str() + 2) return std::nullopt;
    bytes.push_back(static_cast<BYTE>(value));
  }
  return bytes;
}

ULONG TagOfName(const std::string& name) {
  const std::optional<ULONG> tag = WabTagOfName(name);
  if (!tag) throw CommandError{"unknown property name: " + name};
  return *tag;
}

void Check(HRESULT hr, const std::string& what) {
  if (HrFailed(hr)) throw CommandError{FormatText("%s failed (0x%08X)", {what, static_cast<unsigned>(hr)})};
}

// Caller-side values built from NAME=VALUE arguments; keeps the data the values point at.
class ValueBuilder {
 public:
  // Groups the arguments by tag (a repeated name adds elements to a multi-valued property).
  void AddAll(const std::vector<std::string>& assignments) {
    std::vector<ULONG> order;
    std::map<ULONG, std::vector<std::string>> texts;
    for (const std::string& assignment : assignments) {
      const auto equals = assignment.find('=');
      if (equals == std::string::npos) throw CommandError{"expected NAME=VALUE: " + assignment};
      const ULONG tag = TagOfName(assignment.substr(0, equals));
      if (texts.count(tag) == 0) order.push_back(tag);
      texts[tag].push_back(assignment.substr(equals + 1));
    }
    for (ULONG tag : order) Add(tag, texts[tag]);
  }

  ULONG Count() const { return static_cast<ULONG>(mValues.size()); }
  SPropValue* Data() { return mValues.data(); }

 private:
  void Add(ULONG tag, const std::vector<std::string>& texts) {
    const ULONG type = PROP_TYPE(tag);
    const std::string name = WabNameOfTag(tag);
    if ((type & MV_FLAG) == 0 && texts.size() > 1) throw CommandError{name + " is given more than once"};
    SPropValue value{};
    switch (type) {
      case PT_LONG:
        value.Value.l = static_cast<LONG>(Integer(texts[0], INT32_MIN, INT32_MAX, name));
        break;
      case PT_BOOLEAN:
        value.Value.b = static_cast<unsigned short>(Integer(texts[0], 0, 1, name));
        break;
      case PT_SYSTIME: {
        const auto time = static_cast<std::uint64_t>(Integer(texts[0], 0, INT64_MAX, name));
        value.Value.ft = {static_cast<ULONG>(time), static_cast<ULONG>(time >> 32)};
        break;
      }
      case PT_STRING8:
      case PT_UNICODE:
        tag = CHANGE_PROP_TYPE(tag, PT_UNICODE);  // the book keeps all text wide
        value.Value.lpszW = Wide(texts[0]);
        break;
      case PT_BINARY:
        value.Value.bin = Binary(texts[0], name);
        break;
      case PT_MV_LONG: {
        auto& longs = mLongs.emplace_back();
        for (const std::string& text : texts) longs.push_back(static_cast<LONG>(Integer(text, INT32_MIN, INT32_MAX, name)));
        value.Value.MVl = {static_cast<ULONG>(longs.size()), longs.data()};
        break;
      }
      case PT_MV_STRING8:
      case PT_MV_UNICODE: {
        tag = CHANGE_PROP_TYPE(tag, PT_MV_UNICODE);
        auto& list = mWideLists.emplace_back();
        for (const std::string& text : texts) list.push_back(Wide(text));
        value.Value.MVszW = {static_cast<ULONG>(list.size()), list.data()};
        break;
      }
      case PT_MV_BINARY: {
        auto& list = mBinaryLists.emplace_back();
        for (const std::string& text : texts) list.push_back(Binary(text, name));
        value.Value.MVbin = {static_cast<ULONG>(list.size()), list.data()};
        break;
      }
      default:
        throw CommandError{name + " has a type the address book does not store"};
    }
    value.ulPropTag = tag;
    mValues.push_back(value);
  }

  static long long Integer(const std::string& text, long long low, long long high, const std::string& name) {
    if (text == "true" && high == 1) return 1;
    if (text == "false" && high == 1) return 0;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high) {
      throw CommandError{"not a valid value for " + name + ": " + text};
    }
    return value;
  }

  LPWSTR Wide(const std::string& utf8) {
    if (!IsValidUtf8(utf8)) throw CommandError{"not UTF-8 text: " + utf8};
    return mWide.emplace_back(Utf8ToUtf16(utf8)).data();
  }

  SBinary Binary(const std::string& hex, const std::string& name) {
    std::optional<Bytes> bytes = ParseHex(hex);
    if (!bytes) throw CommandError{"not hexadecimal bytes for " + name + ": " + hex};
    Bytes& kept = mBytes.emplace_back(std::move(*bytes));
    return SBinary{static_cast<ULONG>(kept.size()), kept.data()};
  }

  std::vector<SPropValue> mValues;
  std::deque<std::u16string> mWide;
  std::deque<std::vector<LPWSTR>> mWideLists;
  std::deque<Bytes> mBytes;
  std::deque<std::vector<SBinary>> mBinaryLists;
  std::deque<std::vector<LONG>> mLongs;
};

// A tag array of any length for the interface.
class Tags {
 public:
  explicit Tags(const std::vector<ULONG>& tags) : mWords{static_cast<ULONG>(tags.size())} {
    mWords.insert(mWords.end(), tags.begin(), tags.end());
  }
  SPropTagArray* Get() { return reinterpret_cast<SPropTagArray*>(mWords.data()); }

 private:
  std::vector<ULONG> mWords;
};

// The lines `show` prints for one value (one per element of a multi-valued one).
std::vector<std::string> Render(const SPropValue& value) {
  const std::string name = WabNameOfTag(value.ulPropTag) + "=";
  const PV& v = value.Value;
  std::vector<std::string> lines;
  switch (PROP_TYPE(value.ulPropTag)) {
    case PT_LONG:
      lines.push_back(name + std::to_string(v.l));
      break;
    case PT_BOOLEAN:
      lines.push_back(name + (v.b != 0 ? "1" : "0"));
      break;
    case PT_SYSTIME:
      lines.push_back(name + std::to_string((std::uint64_t(v.ft.dwHighDateTime) << 32) | v.ft.dwLowDateTime));
      break;
    case PT_UNICODE:
      lines.push_back(name + Utf16ToUtf8(v.lpszW));
      break;
    case PT_BINARY:
      lines.push_back(name + Hex(v.bin.lpb, v.bin.cb));
      break;
    case PT_MV_LONG:
      for (ULONG i = 0; i < v.MVl.cValues; ++i) lines.push_back(name + std::to_string(v.MVl.lpl[i]));
      break;
    case PT_MV_UNICODE:
      for (ULONG i = 0; i < v.MVszW.cValues; ++i) lines.push_back(name + Utf16ToUtf8(v.MVszW.lppszW[i]));
      break;
    case PT_MV_BINARY:
      for (ULONG i = 0; i < v.MVbin.cValues; ++i) lines.push_back(name + Hex(v.MVbin.lpbin[i].lpb, v.MVbin.lpbin[i].cb));
      break;
    default:
      break;  // PT_ERROR and types the book does not store
  }
  return lines;
}

class WabTool {
 public:
  explicit WabTool(WabConnection& book) : mBook(book) {}

  int List() {
    for (const Row& row : Rows()) {
      PrintTo(stdout, "%s\t%s\t%s\n", Hex(row.id.data(), static_cast<ULONG>(row.id.size())).c_str(),
                  row.objectType == MAPI_DISTLIST ? "group" : "contact", row.displayName.c_str());
    }
    return 0;
  }

  int Show(const std::string& entryRef) {
    WabRef<IMAPIProp> entry = Open(Resolve(entryRef));
    ULONG count = 0;
    WabBuffer<SPropValue> values(mBook.Allocator());
    Check(entry->GetProps(nullptr, MAPI_UNICODE, &count, values.Put()), "GetProps");
    for (ULONG i = 0; i < count; ++i) {
      for (const std::string& line : Render(values.Get()[i])) PrintTo(stdout, "%s\n", line.c_str());
    }
    return 0;
  }

  int Add(bool group, const std::vector<std::string>& assignments) {
    ValueBuilder values;
    values.AddAll(assignments);
    const Bytes templ = ContainerBinary(group ? PR_DEF_CREATE_DL : PR_DEF_CREATE_MAILUSER);
    WabRef<IMAPIProp> entry;
    Check(mBook.Container()->CreateEntry(static_cast<ULONG>(templ.size()), Id(templ), 0, entry.Put()), "CreateEntry");
    SetAndSave(entry.Get(), values);
    PrintTo(stdout, "%s\n", HexOf(EntryIdOf(entry.Get())).c_str());
    return 0;
  }

  // A group named `name` of the entries `memberRefs` (each as ENTRY names one).
  int AddGroup(const std::string& name, const std::vector<std::string>& memberRefs) {
    std::vector<std::string> assignments{"PR_DISPLAY_NAME=" + name};
    for (const std::string& ref : memberRefs) {
      assignments.push_back(FormatText("0x%08X=", {static_cast<unsigned>(PR_WAB_DL_ENTRIES)}) + HexOf(Resolve(ref)));
    }
    return Add(true, assignments);
  }

  int Set(const std::string& entryRef, const std::vector<std::string>& assignments) {
    ValueBuilder values;
    values.AddAll(assignments);
    WabRef<IMAPIProp> entry = Open(Resolve(entryRef));
    SetAndSave(entry.Get(), values);
    return 0;
  }

  int Unset(const std::string& entryRef, const std::vector<std::string>& names) {
    std::vector<ULONG> tagList;
    for (const std::string& name : names) tagList.push_back(TagOfName(name));
    WabRef<IMAPIProp> entry = Open(Resolve(entryRef));
    Tags tags(tagList);
    WabBuffer<SPropProblemArray> problems(mBook.Allocator());
    Check(entry->DeleteProps(tags.Get(), problems.Put()), "DeleteProps");
    RefuseProblems(problems.Get());
    Check(entry->SaveChanges(0), "SaveChanges");
    return 0;
  }

  int Delete(const std::vector<std::string>& entryRefs) {
    std::vector<Bytes> ids;
    for (const std::string& ref : entryRefs) ids.push_back(Resolve(ref));
    std::vector<SBinary> binaries;
    for (Bytes& id : ids) binaries.push_back({static_cast<ULONG>(id.size()), id.data()});
    ENTRYLIST list{static_cast<ULONG>(binaries.size()), binaries.data()};
    const HRESULT hr = mBook.Container()->DeleteEntries(&list, 0);
    Check(hr, "DeleteEntries");
    if (hr == MAPI_W_PARTIAL_COMPLETION) throw CommandError{"some of the entries were not in the address book"};
    return 0;
  }

 private:
  struct Row {
    Bytes id;
    ULONG objectType = 0;
    std::string displayName;
  };

  static LPENTRYID Id(const Bytes& bytes) { return reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(bytes.data())); }
  static std::string HexOf(const Bytes& bytes) { return Hex(bytes.data(), static_cast<ULONG>(bytes.size())); }

  std::vector<Row> Rows() {
    WabRef<IMAPITable> table;
    const HRESULT hr = mBook.Container()->GetContentsTable(MAPI_UNICODE, table.Put());
    if (hr == MAPI_E_NOT_FOUND) return {};  // an empty book
    Check(hr, "GetContentsTable");
    Tags columns({PR_ENTRYID, PR_DISPLAY_NAME, PR_OBJECT_TYPE});
    Check(table->SetColumns(columns.Get(), 0), "SetColumns");
    std::vector<Row> rows;
    for (;;) {
      WabRowSet set(mBook.Allocator());
      Check(table->QueryRows(64, 0, set.Put()), "QueryRows");
      if (set.Count() == 0) return rows;
      for (ULONG i = 0; i < set.Count(); ++i) {
        const SPropValue* values = set.Row(i).lpProps;
        Row row;
        row.id.assign(values[0].Value.bin.lpb, values[0].Value.bin.lpb + values[0].Value.bin.cb);
        if (PROP_TYPE(values[1].ulPropTag) == PT_UNICODE) row.displayName = Utf16ToUtf8(values[1].Value.lpszW);
        row.objectType = static_cast<ULONG>(values[2].Value.l);
        rows.push_back(std::move(row));
      }
    }
  }

  // An identifier as list prints it, or NAME=VALUE of a text property exactly one entry has.
  Bytes Resolve(const std::string& ref) {
    const auto equals = ref.find('=');
    if (equals == std::string::npos) {
      std::optional<Bytes> id = ParseHex(ref);
      if (!id || id->empty()) throw CommandError{"not an entry identifier: " + ref};
      return *id;
    }
    const ULONG tag = CHANGE_PROP_TYPE(TagOfName(ref.substr(0, equals)), PT_UNICODE);
    const std::string wanted = ref.substr(equals + 1);
    std::vector<Bytes> matches;
    for (const Row& row : Rows()) {
      WabRef<IMAPIProp> entry = Open(row.id);
      if (TextOf(entry.Get(), tag) == wanted) matches.push_back(row.id);
    }
    if (matches.size() != 1) {
      throw CommandError{FormatText("%d entries have %s", {static_cast<unsigned long>(matches.size()), ref})};
    }
    return matches[0];
  }

  WabRef<IMAPIProp> Open(const Bytes& id) {
    ULONG type = 0;
    WabRef<IUnknown> object;
    const HRESULT hr = mBook.AddrBook()->OpenEntry(static_cast<ULONG>(id.size()), Id(id), nullptr, MAPI_MODIFY, &type,
                                                   object.Put());
    if (hr == MAPI_E_NOT_FOUND || hr == MAPI_E_UNKNOWN_ENTRYID) throw CommandError{"no such entry: " + HexOf(id)};
    Check(hr, "OpenEntry");
    if (type != MAPI_MAILUSER && type != MAPI_DISTLIST) throw CommandError{"not an entry: " + HexOf(id)};
    return WabRef<IMAPIProp>(static_cast<IMAPIProp*>(object.Detach()));
  }

  std::optional<std::string> TextOf(IMAPIProp* object, ULONG tag) {
    Tags tags({tag});
    ULONG count = 0;
    WabBuffer<SPropValue> values(mBook.Allocator());
    Check(object->GetProps(tags.Get(), MAPI_UNICODE, &count, values.Put()), "GetProps");
    if (count != 1 || PROP_TYPE(values->ulPropTag) != PT_UNICODE) return std::nullopt;
    return Utf16ToUtf8(values->Value.lpszW);
  }

  Bytes BinaryOf(IMAPIProp* object, ULONG tag) {
    Tags tags({tag});
    ULONG count = 0;
    WabBuffer<SPropValue> values(mBook.Allocator());
    Check(object->GetProps(tags.Get(), MAPI_UNICODE, &count, values.Put()), "GetProps");
    if (count != 1 || PROP_TYPE(values->ulPropTag) != PT_BINARY) throw CommandError{WabNameOfTag(tag) + " is missing"};
    return Bytes(values->Value.bin.lpb, values->Value.bin.lpb + values->Value.bin.cb);
  }

  Bytes ContainerBinary(ULONG tag) { return BinaryOf(mBook.Container(), tag); }
  Bytes EntryIdOf(IMAPIProp* entry) { return BinaryOf(entry, PR_ENTRYID); }

  void SetAndSave(IMAPIProp* entry, ValueBuilder& values) {
    WabBuffer<SPropProblemArray> problems(mBook.Allocator());
    Check(entry->SetProps(values.Count(), values.Data(), problems.Put()), "SetProps");
    RefuseProblems(problems.Get());
    Check(entry->SaveChanges(KEEP_OPEN_READWRITE), "SaveChanges");
  }

  // Nothing is saved when a property could not be changed (a computed one).
  static void RefuseProblems(const SPropProblemArray* problems) {
    if (problems == nullptr || problems->cProblem == 0) return;
    const SPropProblem* first = problems->aProblem;
    throw CommandError{WabNameOfTag(first->ulPropTag) + " cannot be changed"};
  }

  WabConnection& mBook;
};

std::string OpenFailure(const WabConnection& book) {
  std::string text = FormatText(LoadString(static_cast<unsigned>(book.Status())), {static_cast<long long>(book.Result())});
  if (!book.Detail().empty()) text += " (" + book.Detail() + ")";
  return text;
}

int Dispatch(WabTool& tool, const std::string& command, const std::vector<std::string>& args) {
  if (command == "list" && args.empty()) return tool.List();
  if (command == "show" && args.size() == 1) return tool.Show(args[0]);
  if (command == "add" && !args.empty() && args[0] == "--group") return tool.Add(true, {args.begin() + 1, args.end()});
  if (command == "add") return tool.Add(false, args);
  if (command == "set" && args.size() >= 2) return tool.Set(args[0], {args.begin() + 1, args.end()});
  if (command == "unset" && args.size() >= 2) return tool.Unset(args[0], {args.begin() + 1, args.end()});
  if (command == "delete" && !args.empty()) return tool.Delete(args);
  return Usage();
}

// `work` over the book `options` names; 1 with the error printed when the book cannot be opened
// or a command fails.
int WithBook(const WabOpenOptions& options, const std::function<int(WabTool&)>& work) {
  WabConnection book(options);
  if (!book.IsOpen()) {
    PrintTo(stderr, "larkstore wab: %s\n", OpenFailure(book).c_str());
    return 1;
  }
  try {
    WabTool tool(book);
    return work(tool);
  } catch (const CommandError& error) {
    PrintTo(stderr, "larkstore wab: %s\n", error.message.c_str());
    return 1;
  }
}

}  // namespace

int AddWabGroup(const WabOpenOptions& options, const std::string& name, const std::vector<std::string>& memberIds) {
  std::vector<std::string> refs;
  for (const std::string& id : memberIds) refs.push_back("PR_ZEP_ENTRYID=" + id);
  return WithBook(options, [&](WabTool& tool) { return tool.AddGroup(name, refs); });
}

int RunWabCommand(const std::vector<std::string>& args) {
  std::size_t next = 0;
  WabOpenOptions options;
  if (args.size() >= 2 && args[0] == "--book") {
    options.bookFile = args[1];
    next = 2;
  }
  if (next >= args.size() || args[next] == "help") return Usage();
  const std::string command = args[next];
  const std::vector<std::string> rest(args.begin() + static_cast<long>(next) + 1, args.end());

  // The tool follows the library setting when there is one, else takes the default library.
  std::string library;
  if (!ReadWabDllPath(library)) library.clear();
  options.library = library;
  if (const int status = RunWabTransfer(options, command, rest); status >= 0) return status;
  return WithBook(options, [&](WabTool& tool) { return Dispatch(tool, command, rest); });
}
