// "larkstore outlook": lists, shows, creates, changes and deletes folders and items of the
// object-model profile, through the same automation calls the store adapter makes.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation/AutomationDate.h"
#include "platform/automation/AutomationError.h"
#include "platform/automation/OutlookDispatch.h"
#include "platform/outlookmodel/ItemSchema.h"
#include "platform/outlookmodel/OutlookModel.h"
#include "platform/outlookmodel/ProfileStore.h"
#include "tools/ToolCommands.h"
#include "tools/ToolOutput.h"

namespace {

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
      "FOLDER is an EntryID, a path such as \"Personal Folders/Contacts\", or contacts, calendar, tasks, inbox.\n"
      "Dates are YYYY-MM-DD or YYYY-MM-DD HH:MM[:SS], local time. The profile is $LARK_OUTLOOKMODEL_PROFILE,\n"
      "else $XDG_DATA_HOME/outlookmodel/profile.db.\n",
      stderr);
  return 2;
}

class UsageError {};

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
  }
}
