// "larkstore outlook": lists, shows, creates, changes and deletes folders and items of the
// object-model profile, through the same automation calls the store adapter makes.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <string_view>
#include <optional>
#include <string>
#include <vector>

#include "common/AtomicFile.h"
#include "common/CXException.h"
#include "common/Prompt.h"
#include "config/CConf.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "pim/VCardStream.h"
#include "platform/automation/AutomationDate.h"
#include "platform/automation/AutomationError.h"
#include "platform/automation/OutlookDispatch.h"
#include "platform/outlookmodel/ItemSchema.h"
#include "platform/outlookmodel/OutlookModel.h"
#include "platform/outlookmodel/ProfileStore.h"
#include "stores/outlook/COutlook.h"
#include "tools/GroupCards.h"
#include "tools/ToolCommands.h"
#include "tools/ToolOutput.h"

namespace {

using groupcards::CardLines;
using groupcards::GroupCardText;
using groupcards::GroupMemberUids;
using groupcards::IsGroupCard;
using groupcards::LineName;
using groupcards::LineValue;
using groupcards::WithoutUrn;


using Args = std::vector<std::string>;

// Recurrence members the tool sets by name on an appointment, in the order given.
struct PatternMember {
  const char* name;
  DispId id;
};
constexpr PatternMember kPatternMembers[] = {
    {"RecurrenceType", OutlookId::kRecurrenceType}, {"Interval", OutlookId::kInterval},
    {"DayOfWeekMask", OutlookId::kDayOfWeekMask},   {"DayOfMonth", OutlookId::kDayOfMonth},
    {"MonthOfYear", OutlookId::kMonthOfYear},       {"Instance", OutlookId::kInstance},
    {"PatternStartDate", OutlookId::kPatternStartDate}, {"PatternEndDate", OutlookId::kPatternEndDate},
    {"NoEndDate", OutlookId::kNoEndDate},           {"Occurrences", OutlookId::kOccurrences},
};

int Usage() {
  std::fputs(
      "usage: larkstore outlook <command> [args...]\n"
      "  stores                                  list the stores\n"
      "  folders                                 list every folder: EntryID, StoreID, item type, path\n"
      "  items FOLDER                            list a folder's items: EntryID, class, stamp, title\n"
      "  show ENTRYID                            show an item's properties\n"
      "  add-store NAME                          add a store; prints its top folder's EntryID\n"
      "  add-folder PARENT NAME [KIND]           add a folder (KIND: contacts, calendar, tasks, mail)\n"
      "  add FOLDER CLASS [NAME=VALUE...]        add an item (CLASS e.g. IPM.Contact); prints its EntryID\n"
      "  set ENTRYID NAME=VALUE...               change an item's properties\n"
      "  delete ENTRYID                          delete an item\n"
      "  occurrence ENTRYID DATE delete          delete one occurrence of a recurring appointment\n"
      "  occurrence ENTRYID DATE set NAME=VALUE...  change one occurrence\n"
      "  attendee ENTRYID ADDRESS [NAME]         add an attendee to an appointment\n"
      "  member ENTRYID NAME...                  add contacts (by FileAs or e-mail) to a distribution list\n"
      "  user [NAME ADDRESS]                     show or set the profile's own name and address\n"
      "  import FOLDER FILE.vcf                  write every card of the file into a contacts folder\n"
      "  import FOLDER FILE.ics                  write every event or task of the file into a calendar or tasks folder\n"
      "  export FOLDER [FILE]                    write a contacts folder as vCard, a calendar or tasks folder as iCalendar\n"
      "FOLDER is an EntryID, a path such as \"Personal Folders/Contacts\", or contacts, calendar, tasks, inbox.\n"
      "Dates are YYYY-MM-DD or YYYY-MM-DD HH:MM[:SS], local time. The profile is $LARK_OUTLOOKMODEL_PROFILE,\n"
      "else $XDG_DATA_HOME/outlookmodel/profile.db.\n",
      stderr);
  return 2;
}

class UsageError {};

// An import file larger than this is refused (an address book of 50,000 cards with photos).
constexpr size_t kMaxImportBytes = size_t(256) << 20;
// The sync period setting "Synchronize all events": export takes the whole folder.
constexpr int kAllEvents = 5;

std::string StampText(double date) {
  char text[64];
  std::snprintf(text, sizeof text, "%.20f", date);
  return text;
}

outlookmodel::ItemKind KindOf(const outlook::OutlookItem& item) {
  outlookmodel::ItemKind kind = outlookmodel::ItemKind::Mail;
  outlookmodel::KindOfMessageClass(item.GetMessageClass(), kind);
  return kind;
}

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts(1);
  for (char c : path) {
    if (c == '/' || c == '\\') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  std::erase(parts, std::string());
  return parts;
}

class OutlookTool {
 public:
  OutlookTool()
      : mApplication(outlookmodel::MakeDefaultObjectFactory().CreateObject("Outlook.Application")),
        mNamespace(mApplication.GetNamespace("MAPI")) {
    mNamespace.Logon();
  }

  int Run(const std::string& command, const Args& args) {
    if (command == "stores") return Stores();
    if (command == "folders") return Folders();
    if (command == "items" && args.size() == 1) return ListItems(args[0]);
    if (command == "show" && args.size() == 1) return Show(args[0]);
    if (command == "add-store" && args.size() == 1) return Print(mNamespace.Call(OutlookId::kAddStore, {args[0]}).ToDispatch());
    if (command == "add-folder" && (args.size() == 2 || args.size() == 3)) return AddFolder(args);
    if (command == "add" && args.size() >= 2) return AddItem(args);
    if (command == "set" && args.size() >= 2) return SetItem(args);
    if (command == "delete" && args.size() == 1) return DeleteItem(args[0]);
    if (command == "occurrence" && args.size() >= 3) return Occurrence(args);
    if (command == "attendee" && (args.size() == 2 || args.size() == 3)) return Attendee(args);
    if (command == "member" && args.size() >= 2) return Members(args);
    if (command == "import" && args.size() == 2) return Import(args[0], args[1]);
    if (command == "export" && (args.size() == 1 || args.size() == 2)) return Export(args[0], args.size() == 2 ? args[1] : "");
    throw UsageError();
  }

 private:
  int Print(const Dispatch::Ptr& folder) {
    PrintTo(stdout, "%s\n", outlook::MAPIFolder(folder).GetEntryID().c_str());
    return 0;
  }

  int Stores() {
    const outlook::Folders tops = mNamespace.GetFolders();
    for (int32_t i = 1; i <= tops.GetCount(); ++i) {
      const outlook::MAPIFolder top = tops.Item(i);
      PrintTo(stdout, "%s\t%s\n", top.GetStoreID().c_str(), top.GetName().c_str());
    }
    return 0;
  }

  int Folders() {
    const outlook::Folders tops = mNamespace.GetFolders();
    for (int32_t i = 1; i <= tops.GetCount(); ++i) ListTree(tops.Item(i), "");
    return 0;
  }

  void ListTree(const outlook::MAPIFolder& folder, const std::string& parentPath) {
    const std::string path = parentPath.empty() ? folder.GetName() : parentPath + "\\" + folder.GetName();
    PrintTo(stdout, "%s\t%s\t%d\t%s\n", folder.GetEntryID().c_str(), folder.GetStoreID().c_str(), folder.GetDefaultItemType(),
                path.c_str());
    const outlook::Folders children = folder.GetFolders();
    for (int32_t i = 1; i <= children.GetCount(); ++i) ListTree(children.Item(i), path);
  }

  outlook::MAPIFolder FindFolder(const std::string& reference) {
    const std::pair<const char*, int32_t> kinds[] = {
        {"contacts", olFolderContacts}, {"calendar", olFolderCalendar}, {"tasks", olFolderTasks}, {"inbox", olFolderInbox}};
    for (const auto& [name, kind] : kinds) {
      if (reference == name) return mNamespace.GetDefaultFolder(kind);
    }
    const std::vector<std::string> parts = SplitPath(reference);
    if (parts.size() == 1 && reference.size() >= 32 && reference.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos) {
      return mNamespace.GetFolderFromID(reference, "");
    }
    if (parts.empty()) throw UsageError();
    outlook::MAPIFolder folder = FolderNamed(mNamespace.GetFolders(), parts[0]);
    for (size_t i = 1; i < parts.size(); ++i) folder = FolderNamed(folder.GetFolders(), parts[i]);
    return folder;
  }

  static outlook::MAPIFolder FolderNamed(const outlook::Folders& folders, const std::string& name) {
    return outlook::MAPIFolder(folders.Call(OutlookId::kItem, {name}).ToDispatch());
  }

  outlook::OutlookItem FindItem(const std::string& entryId) {
    return outlook::OutlookItem(mNamespace.GetItemFromID(entryId, ""));
  }

  int ListItems(const std::string& reference) {
    const outlook::Items items = FindFolder(reference).GetItems();
    const int32_t count = items.GetCount();
    for (int32_t i = 1; i <= count; ++i) {
      const outlook::OutlookItem item(items.Item(i));
      PrintTo(stdout, "%s\t%s\t%s\t%s\n", item.GetEntryID().c_str(), item.GetMessageClass().c_str(),
                  StampText(item.GetLastModificationTime()).c_str(), Title(item).c_str());
    }
    return 0;
  }

  static std::string Title(const outlook::OutlookItem& item) {
    switch (KindOf(item)) {
      case outlookmodel::ItemKind::Contact: return item.GetText(OutlookId::kFileAs);
      case outlookmodel::ItemKind::DistList: return item.GetText(OutlookId::kDLName);
      case outlookmodel::ItemKind::Mail:
      case outlookmodel::ItemKind::Appointment:
      case outlookmodel::ItemKind::Task: break;
    }
    return item.GetSubject();
  }

  int Show(const std::string& entryId) {
    const outlook::OutlookItem item = FindItem(entryId);
    const outlookmodel::ItemKind kind = KindOf(item);
    PrintTo(stdout, "EntryID=%s\nMessageClass=%s\nLastModificationTime=%s\nFolder=%s\n", item.GetEntryID().c_str(),
                item.GetMessageClass().c_str(), StampText(item.GetLastModificationTime()).c_str(),
                outlook::MAPIFolder(item.GetParent()).GetName().c_str());
    for (const outlookmodel::PropertyDef& property : outlookmodel::PropertiesOf(kind)) {
      PrintTo(stdout, "%s=%s\n", property.name, item.Get(property.id).ToString().c_str());
    }
    if (kind == outlookmodel::ItemKind::DistList) ShowMembers(outlook::DistListItem(item.Object()));
    if (kind == outlookmodel::ItemKind::Appointment) ShowAppointment(outlook::AppointmentItem(item.Object()));
    return 0;
  }

  static void ShowMembers(const outlook::DistListItem& list) {
    for (int32_t i = 1; i <= list.GetMemberCount(); ++i) {
      const outlook::Recipient member = list.GetMember(i);
      PrintTo(stdout, "Member%d=%s <%s> %s\n", i, member.GetName().c_str(), member.GetAddress().c_str(),
                  member.GetEntryID().c_str());
    }
  }

  static void ShowAppointment(const outlook::AppointmentItem& appointment) {
    const outlook::Recipients recipients = appointment.GetRecipients();
    for (int32_t i = 1; i <= recipients.GetCount(); ++i) {
      const outlook::Recipient attendee = recipients.Item(i);
      PrintTo(stdout, "Attendee%d=%s <%s> %d\n", i, attendee.GetName().c_str(), attendee.GetAddress().c_str(),
                  attendee.GetMeetingResponseStatus());
    }
    PrintTo(stdout, "RecurrenceState=%d\n", appointment.GetRecurrenceState());
    if (appointment.GetRecurrenceState() != olApptMaster) return;
    const outlook::RecurrencePattern pattern = appointment.GetRecurrencePattern();
    for (const PatternMember& member : kPatternMembers) {
      PrintTo(stdout, "%s=%s\n", member.name, pattern.Get(member.id).ToString().c_str());
    }
    const outlook::Exceptions exceptions = pattern.GetExceptions();
    for (int32_t i = 1; i <= exceptions.GetCount(); ++i) {
      const outlook::Exception exception = exceptions.Item(i);
      PrintTo(stdout, "Exception%d=%s %s\n", i, Variant::Date(exception.GetOriginalDate()).ToString().c_str(),
                  exception.GetDeleted() ? "deleted" : exception.GetAppointmentItem().GetSubject().c_str());
    }
  }

  int AddFolder(const Args& args) {
    const std::pair<const char*, int32_t> kinds[] = {
        {"contacts", olFolderContacts}, {"calendar", olFolderCalendar}, {"tasks", olFolderTasks}, {"mail", olFolderInbox}};
    std::vector<Variant> call{args[1]};
    if (args.size() == 3) {
      std::optional<int32_t> kind;
      for (const auto& [name, value] : kinds) {
        if (args[2] == name) kind = value;
      }
      if (!kind) throw UsageError();
      call.emplace_back(*kind);
    }
    return Print(FindFolder(args[0]).GetFolders().Call(OutlookId::kAdd, call).ToDispatch());
  }

  // NAME=VALUE pairs, applied in order: item properties, and on appointments the recurrence members.
  static void Assign(const outlook::OutlookItem& item, const Args& assignments, size_t first) {
    const outlookmodel::ItemKind kind = KindOf(item);
    for (size_t i = first; i < assignments.size(); ++i) {
      const size_t equals = assignments[i].find('=');
      if (equals == std::string::npos || equals == 0) throw UsageError();
      const std::string name = assignments[i].substr(0, equals);
      const Variant value(assignments[i].substr(equals + 1));
      if (const outlookmodel::PropertyDef* property = outlookmodel::FindProperty(kind, name)) {
        item.Put(property->id, value);
        continue;
      }
      const PatternMember* member = nullptr;
      for (const PatternMember& candidate : kPatternMembers) {
        if (name == candidate.name) member = &candidate;
      }
      if (member == nullptr || kind != outlookmodel::ItemKind::Appointment) {
        PrintTo(stderr, "error: %s has no property \"%s\"\n", item.GetMessageClass().c_str(), name.c_str());
        throw UsageError();
      }
      outlook::AppointmentItem(item.Object()).GetRecurrencePattern().Put(member->id, value);
    }
  }

  int AddItem(const Args& args) {
    const outlook::OutlookItem item(FindFolder(args[0]).GetItems().Add(args[1]));
    Assign(item, args, 2);
    item.Save();
    PrintTo(stdout, "%s\n", item.GetEntryID().c_str());
    return 0;
  }

  int SetItem(const Args& args) {
    const outlook::OutlookItem item = FindItem(args[0]);
    Assign(item, args, 1);
    item.Save();
    return 0;
  }

  int DeleteItem(const std::string& entryId) {
    FindItem(entryId).Delete();
    return 0;
  }

  int Occurrence(const Args& args) {
    const outlook::AppointmentItem appointment(FindItem(args[0]).Object());
    const outlook::AppointmentItem occurrence = appointment.GetRecurrencePattern().GetOccurrence(Variant(args[1]).ToDate());
    if (args[2] == "delete" && args.size() == 3) {
      occurrence.Delete();
    } else if (args[2] == "set") {
      Assign(occurrence, args, 3);
      occurrence.Save();
    } else {
      throw UsageError();
    }
    return 0;
  }

  int Attendee(const Args& args) {
    const outlook::AppointmentItem appointment(FindItem(args[0]).Object());
    const outlook::Recipient attendee = appointment.GetRecipients().Add(args[1]);
    if (args.size() == 3) attendee.GetAddressEntry().SetName(args[2]);
    appointment.SetMeetingStatus(1);
    appointment.Save();
    return 0;
  }

  int Members(const Args& args) {
    const outlook::DistListItem list(FindItem(args[0]).Object());
    const outlook::MailItem scratch(mApplication.CreateItem(olMailItem));
    const outlook::Recipients names = scratch.GetRecipients();
    for (size_t i = 1; i < args.size(); ++i) names.Add(args[i]);
    list.AddMembers(names);
    list.Save();
    return 0;
  }

  // The store adapter over `reference`, so that the tool reads and writes contacts exactly as a
  // sync run does. Silent: e-mail addresses without a type are typed without asking.
  struct AdapterRun {
    HeadlessPrompt prompt{std::cerr};
    CConf conf;
    COutlook store;
    AdapterRun() : store(conf, prompt, outlookmodel::MakeDefaultObjectFactory()) { conf.SetSilent(true); }
  };

  static void SelectFolder(COutlook& store, const outlook::MAPIFolder& folder) {
    const int32_t itemType = folder.GetDefaultItemType();
    if (itemType != olContactItem && itemType != olAppointmentItem && itemType != olTaskItem) {
      PrintTo(stderr, "error: %s is not a contacts, calendar or tasks folder\n", folder.GetName().c_str());
      throw UsageError();
    }
    const SyncDataType type =
        itemType == olContactItem ? DATA_TYPE_CONTACTS : itemType == olAppointmentItem ? DATA_TYPE_EVENTS : DATA_TYPE_TASKS;
    store.SetCurrentFolder(type, folder.GetEntryID(), folder.GetStoreID());
  }

  static bool IsCalendarFolder(const outlook::MAPIFolder& folder) {
    return folder.GetDefaultItemType() == olAppointmentItem || folder.GetDefaultItemType() == olTaskItem;
  }

  // Each item of the file (an event with the changed occurrences of its UID, or a task, with the
  // file's time zones) goes through the adapter's own writer, as a server's item does.
  int ImportCalendar(AdapterRun& run, const std::string& bytes) {
    ImportCounts counts;
    int number = 0;
    for (const std::string& item : CalendarFileItems(bytes)) {
      ++number;
      std::string entryId;
      try {
        counts.Note(run.store.AddCalendarItem(item, entryId) == kStoreOk);
      } catch (const CXException& error) {
        PrintTo(stderr, "item %d: refused (%s), skipped\n", number, error.Message().c_str());
        ++counts.skipped;
      }
    }
    run.store.CommitWrites();
    PrintTo(stdout, "%d imported, %d skipped\n", counts.imported, counts.skipped);
    return counts.skipped == 0 ? 0 : 1;
  }

  // The items of an iCalendar or vCalendar file: each VEVENT or VTODO with those of the same UID,
  // after the file's VERSION and time zones, in file order.
  static std::vector<std::string> CalendarFileItems(const std::string& bytes) {
    std::string version = "VERSION:2.0\r\n";
    std::string zones;
    std::vector<std::pair<std::string, std::string>> components;  // UID, lines
    std::string block, uid;
    int depth = 0;
    bool inZone = false;
    for (const std::string& line : CardLines(bytes)) {
      const std::string name = LineName(line);
      const std::string value = LineValue(line);
      if (depth == 0 && name == "VERSION") version = line + "\r\n";
      if (name == "BEGIN" && value != "VCALENDAR") {
        if (depth++ == 0) {
          block.clear();
          uid.clear();
          inZone = value == "VTIMEZONE";
        }
      }
      if (depth == 0) continue;
      block += line + "\r\n";
      if (depth == 1 && name == "UID") uid = value;
      if (name == "END" && --depth == 0) {
        if (inZone) {
          zones += block;
        } else {
          const auto same = std::find_if(components.begin(), components.end(),
                                         [&](const auto& component) { return !uid.empty() && component.first == uid; });
          if (same != components.end()) {
            same->second += block;
          } else {
            components.emplace_back(uid, block);
          }
        }
      }
    }
    std::vector<std::string> items;
    for (const auto& [id, lines] : components) {
      items.push_back("BEGIN:VCALENDAR\r\n" + version + zones + lines + "END:VCALENDAR\r\n");
    }
    return items;
  }

  // Each card goes through the adapter's own writer; a card that cannot be read is reported and
  // skipped (exit status 1), the others are still imported. A group card as other address books
  // export it (KIND:group or X-ADDRESSBOOKSERVER-KIND:group, members as MEMBER or
  // X-ADDRESSBOOKSERVER-MEMBER naming the UID of a card of the file) becomes a distribution list,
  // written after the contacts, its members resolved the way a sync run resolves the server's
  // references. Every card goes through the store interface as a server's item does, and what
  // Outlook has no field for is kept for the first sync of the folder.
  int Import(const std::string& reference, const std::string& file) {
    const std::optional<std::string> bytes = ReadWholeFile(file);
    const outlook::MAPIFolder folder = FindFolder(reference);
    VCardInputStream stream;
    if (!bytes || bytes->size() > kMaxImportBytes ||
        (!IsCalendarFolder(folder) && stream.Open(*bytes, kMaxImportBytes) != VCARD_OK)) {
      PrintTo(stderr, "error: cannot read %s\n", file.c_str());
      return 1;
    }
    AdapterRun run;
    SelectFolder(run.store, folder);
    if (IsCalendarFolder(folder)) return ImportCalendar(run, *bytes);
    VCardContext context;
    ImportCounts counts;
    std::vector<std::string> groups;
    for (int number = 1;; ++number) {
      const size_t start = stream.Tell();
      PVCardPtr card;
      const int code = ParseVCard(&context, card, stream);
      if (!card) break;
      const std::string text = bytes->substr(start, stream.Tell() - start);
      if (code != VCARD_OK && code != VCARD_UNKNOWN_PROPERTY) {
        PrintTo(stderr, "card %d: unreadable (code %d), skipped\n", number, code);
        ++counts.skipped;
        continue;
      }
      if (IsGroupCard(text)) {
        groups.push_back(text);
        continue;
      }
      // Its UID is the server identifier a group's members name it by.
      const PVCardProperty* uid = card->FindProperty(PROPERTY_UID);
      counts.Note(Write(run, *card, uid != nullptr ? WithoutUrn(uid->ValueText(0)) : std::string(), "", number));
    }
    for (const std::string& group : groups) {
      for (const std::string& uid : GroupMemberUids(group)) {
        if (run.store.mIdMap.count(uid) == 0) PrintTo(stderr, "group member %s is no card of %s, left out\n", uid.c_str(), file.c_str());
      }
      const PVCardPtr card = Zep3_PVCard_FromStream(&context, GroupCardText(group));
      if (!card) {
        ++counts.skipped;
        continue;
      }
      counts.Note(Write(run, *card, "", kGroupContentType, 0));
    }
    // The contacts are durable before the file that names them is saved.
    run.store.CommitWrites();
    run.store.SaveImportedSideLists();
    PrintTo(stdout, "%d imported, %d skipped\n", counts.imported, counts.skipped);
    return counts.skipped == 0 ? 0 : 1;
  }

  struct ImportCounts {
    int imported = 0;
    int skipped = 0;
    void Note(bool written) { ++(written ? imported : skipped); }
  };

  // Writes one card (`number` of the file, 0 for a group) through the store interface, as a sync
  // writes a server's item; a card the store refuses is reported.
  static bool Write(AdapterRun& run, PVCard& card, const std::string& serverId, const std::string& contentType, int number) {
    const std::string what = number == 0 ? std::string("group") : "card " + std::to_string(number);
    std::string entryId;
    try {
      if (run.store.AddAddressBookItem(card, entryId, serverId, contentType) == kStoreOk) return true;
      PrintTo(stderr, "%s: not written, skipped\n", what.c_str());
    } catch (const CXException& error) {
      PrintTo(stderr, "%s: refused (%s), skipped\n", what.c_str(), error.Message().c_str());
    }
    return false;
  }

  // The contacts as a sync run reads them (with the types of their e-mail addresses), each
  // written by the record's vCard writer.
  // Events and tasks as a sync run reads them (the whole folder), in one calendar.
  int Export(const std::string& reference, const std::string& file) {
    AdapterRun run;
    run.conf.SetSyncPeriod(kAllEvents);
    const outlook::MAPIFolder folder = FindFolder(reference);
    SelectFolder(run.store, folder);
    std::string text;
    if (folder.GetDefaultItemType() == olAppointmentItem || folder.GetDefaultItemType() == olTaskItem) {
      const bool events = folder.GetDefaultItemType() == olAppointmentItem;
      if ((events ? run.store.LoadEvents(run.store.mCurrentItems) : run.store.LoadTasks(run.store.mCurrentItems)) != kStoreOk) {
        return 1;
      }
      text = ToVCalendar(run.store.mCurrentItems.Items());
    } else {
      if (run.store.LoadContacts(run.store.mCurrentItems) != kStoreOk) return 1;
      run.store.LoadMervaleFields();
      for (const CDataItem::Ptr& record : run.store.mCurrentItems.Items()) text += record->ToVCard();
    }
    if (file.empty()) {
      std::fwrite(text.data(), 1, text.size(), stdout);
      return 0;
    }
    // Replaced whole or not at all: a full disk leaves the earlier file as it was.
    std::string error;
    if (!WriteFileAtomically(file, text, 0600, &error)) {
      PrintTo(stderr, "error: cannot write %s: %s\n", file.c_str(), error.c_str());
      return 1;
    }
    return 0;
  }

  static std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0 && bytes.size() <= kMaxImportBytes) bytes.append(buffer, got);
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed) return std::nullopt;
    return bytes;
  }

  outlook::Application mApplication;
  outlook::NameSpace mNamespace;
};

int User(const Args& args) {
  outlookmodel::ProfileStore profile(outlookmodel::ProfileStore::DefaultPath());
  if (args.size() == 2) {
    profile.SetCurrentUser({args[0], args[1]});
    return 0;
  }
  if (!args.empty()) return Usage();
  const outlookmodel::UserIdentity user = profile.CurrentUser();
  PrintTo(stdout, "%s\t%s\n", user.name.c_str(), user.address.c_str());
  return 0;
}

}  // namespace

int RunOutlookCommand(const std::vector<std::string>& args) {
  if (args.empty() || args[0] == "help" || args[0] == "--help") return Usage();
  const Args rest(args.begin() + 1, args.end());
  try {
    if (args[0] == "user") return User(rest);
    OutlookTool tool;
    return tool.Run(args[0], rest);
  } catch (const UsageError&) {
    return Usage();
  } catch (const AutomationError& error) {
    PrintTo(stderr, "error: %s (0x%08X)\n", error.what(), error.Code());
    return 1;
  } catch (const CXException& error) {
    PrintTo(stderr, "error: %s\n", error.Message().c_str());
    return 1;
  }
}
