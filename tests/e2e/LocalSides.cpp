// The local sides of the end-to-end suite: the folder store's item files, vdir collections as
// the command-line programs leave them and an Outlook profile edited through the object model, each with the run's store that can kill its process.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>

#include "common/Prompt.h"
#include "config/CConf.h"
#include "pim/CalendarRecordBuilder.h"
#include "pim/ContactRecordBuilder.h"
#include "pim/VCalMerge.h"
#include "pim/VCardContext.h"
#include "pim/VCardMerge.h"
#include "pim/VCardParser.h"
#include "platform/automation/ObjectFactory.h"
#include "platform/automation/OutlookDispatch.h"
#include "platform/outlookmodel/OutlookModel.h"
#include "stores/StoreFactory.h"
#include "stores/folder/FolderStore.h"
#include "stores/outlook/COutlook.h"
#include "stores/vdir/VdirCalendar.h"
#include "stores/vdir/VdirCard.h"
#include "stores/vdir/VdirStore.h"
#include "tests/e2e/KillingStore.h"
#include "tests/e2e/LocalSide.h"
#include "tests/e2e/WabLocalSide.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// ---- Folder store

class FolderStoreFactory final : public SyncStoreFactory {
 public:
  FolderStoreFactory(std::string root, int killAfterWrites) : mRoot(std::move(root)), mKillAfterWrites(killAfterWrites) {}
  std::unique_ptr<CDatabaseObject> CreateStore(CConf& conf, Prompt&) override {
    return std::make_unique<KillingStore<FolderStore>>(mKillAfterWrites, conf, mRoot);
  }

 private:
  std::string mRoot;
  int mKillAfterWrites;
};

std::string DisplayNameOf(const std::string& path) {
  VCardContext context;
  const PVCardPtr card = Zep3_PVCard_FromStream(&context, ReadFileBytes(path));
  CDataItem record;
  if (card) ContactRecordBuilder(record).Build(*card);
  return record.Property("PR_DISPLAY_NAME");
}

class FolderSide final : public LocalSide {
 public:
  explicit FolderSide(std::string root) : mRoot(std::move(root)) {}
  const char* Name() const override { return "Folder"; }
  StoreCapabilities Capabilities() const override { return {true, true, true, false, true}; }
  void Configure(CConf& conf) override {
    FolderStore created(conf, mRoot);  // makes the default folders
  }
  std::unique_ptr<SyncStoreFactory> MakeStoreFactory(int killAfterServerWrites) override {
    return std::make_unique<FolderStoreFactory>(mRoot, killAfterServerWrites);
  }
  std::string AddContact(const std::string& vcard) override {
    const std::string id = "local-" + std::to_string(++mAdded) + ".vcf";
    WriteFileBytes(Contacts(id), vcard);
    return id;
  }
  void ChangeContact(const std::string& id, const std::string& vcard) override { WriteFileBytes(Contacts(id), vcard); }
  void DeleteContact(const std::string& id) override { fs::remove(Contacts(id)); }
  std::string IdOf(const std::string& displayName) const override {
    for (const auto& entry : fs::directory_iterator(mRoot + "contacts")) {
      if (entry.path().extension() != ".vcf") continue;
      if (DisplayNameOf(entry.path().string()) == displayName) return entry.path().filename().string();
    }
    return {};
  }
  std::vector<std::string> GroupMembers(const std::string& name) const override {
    for (const auto& entry : fs::directory_iterator(mRoot + "contacts")) {
      if (entry.path().extension() != ".group") continue;
      VCardContext context;
      const PVCardPtr card = Zep3_PVCard_FromStream(&context, ReadFileBytes(entry.path().string()));
      if (!card) continue;
      const GroupCard group = GroupCard::Read(*card);
      if (group.displayName != name) continue;
      std::vector<std::string> members;
      for (const std::string& member : group.members) members.push_back(DisplayNameOf(Contacts(member)));
      return members;
    }
    return {};
  }
  std::vector<std::string> Contacts() const override { return Files("contacts", ".vcf"); }
  std::string AddCalendarItem(SyncDataType type, const std::string& vcalendar) override {
    const std::string id = "local-" + std::to_string(++mAdded) + ".vcs";
    ChangeCalendarItem(type, id, vcalendar);
    return id;
  }
  void ChangeCalendarItem(SyncDataType type, const std::string& id, const std::string& vcalendar) override {
    WriteFileBytes(mRoot + CalendarFolder(type) + "/" + id, vcalendar);
  }
  std::vector<std::string> CalendarItems(SyncDataType type) const override { return Files(CalendarFolder(type), ""); }
  std::vector<std::string> CalendarIds(SyncDataType type) const override {
    std::vector<std::string> ids;
    for (const auto& entry : fs::directory_iterator(mRoot + CalendarFolder(type))) ids.push_back(entry.path().filename().string());
    std::sort(ids.begin(), ids.end());
    return ids;
  }
  // The user's program reads the file, changes the field and writes the item again.
  void ChangeField(SyncDataType type, const std::string& id, const std::string& key, const std::string& value) override {
    if (type == DATA_TYPE_CONTACTS) {
      VCardContext context;
      const PVCardPtr card = Zep3_PVCard_FromStream(&context, ReadFileBytes(Contacts(id)));
      CDataItem record;
      if (card) ContactRecordBuilder(record).Build(*card);
      record[key] = value;
      WriteFileBytes(Contacts(id), record.ToVCard());
      return;
    }
    const std::string path = mRoot + CalendarFolder(type) + "/" + id;
    std::vector<CDataItem::Ptr> records = CalendarRecordBuilder::BuildAll(ReadFileBytes(path));
    if (records.empty()) throw std::runtime_error("cannot read " + path);
    (*records.front())[key] = value;
    WriteFileBytes(path, ToVCalendar(records));
  }

 private:
  static const char* CalendarFolder(SyncDataType type) { return type == DATA_TYPE_TASKS ? "tasks" : "events"; }
  std::string Contacts(const std::string& id) const { return mRoot + "contacts/" + id; }
  // The texts of the files of `folder` (with `extension`, when given), sorted.
  std::vector<std::string> Files(const std::string& folder, const std::string& extension) const {
    std::vector<std::string> texts;
    for (const auto& entry : fs::directory_iterator(mRoot + folder)) {
      if (!entry.is_regular_file() || (!extension.empty() && entry.path().extension() != extension)) continue;
      texts.push_back(ReadFileBytes(entry.path().string()));
    }
    std::sort(texts.begin(), texts.end());
    return texts;
  }
  std::string mRoot;
  int mAdded = 0;
};

// ---- vdir collections

class VdirStoreFactory final : public SyncStoreFactory {
 public:
  VdirStoreFactory(std::string root, int killAfterWrites) : mRoot(std::move(root)), mKillAfterWrites(killAfterWrites) {}
  std::unique_ptr<CDatabaseObject> CreateStore(CConf& conf, Prompt&) override {
    return std::make_unique<KillingStore<VdirStore>>(mKillAfterWrites, conf, mRoot);
  }

 private:
  std::string mRoot;
  int mKillAfterWrites;
};

// The user's program writes vCard 3.0 files named after the UID (made when the card has none)
// into the default collections, as the command-line contact and calendar programs do.
class VdirSide final : public LocalSide {
 public:
  explicit VdirSide(std::string root) : mRoot(std::move(root)) {}
  const char* Name() const override { return "Vdir"; }
  StoreCapabilities Capabilities() const override { return {true, true, true, false, true}; }
  // Each link names its collection by a path relative to the root, as the wizard writes it.
  void Configure(CConf& conf) override {
    conf.SetSyncWithOutlook(LOCAL_APP_VDIR);
    conf.SetValue(CConf::kSection, "VdirID", conf.ClientStoreId());
    conf.SetVdirPath(mRoot);
    for (std::size_t i = 0; i < conf.Links().Size(); ++i) {
      CSyncLink& link = conf.Links().At(i);
      link.mClientApp = LOCAL_APP_VDIR;
      link.mLocalPath = link.mDataType == DATA_TYPE_CONTACTS ? "contacts" : CalendarFolder(static_cast<SyncDataType>(link.mDataType));
    }
    conf.Save();
  }
  std::unique_ptr<SyncStoreFactory> MakeStoreFactory(int killAfterServerWrites) override {
    return std::make_unique<VdirStoreFactory>(mRoot, killAfterServerWrites);
  }
  std::string AddContact(const std::string& vcard) override {
    std::optional<VdirCard> card = VdirCard::Read(vcard);
    if (!card) throw std::invalid_argument("not a card");
    if (card->Uid().empty()) card->SetUid("local-" + std::to_string(++mAdded));
    const std::string id = card->Uid() + ".vcf";
    WriteFileBytes(Collection("contacts") + id, card->Text());
    return id;
  }
  void ChangeContact(const std::string& id, const std::string& vcard) override {
    std::optional<VdirCard> card = VdirCard::Read(vcard);
    if (!card) throw std::invalid_argument("not a card");
    const std::optional<VdirCard> old = VdirCard::Read(ReadFileBytes(Collection("contacts") + id));
    if (card->Uid().empty() && old) card->SetUid(old->Uid());
    WriteFileBytes(Collection("contacts") + id, card->Text());
  }
  void DeleteContact(const std::string& id) override { fs::remove(Collection("contacts") + id); }
  std::string IdOf(const std::string& displayName) const override {
    for (const std::string& name : Names("contacts", ".vcf")) {
      if (DisplayNameOf(Collection("contacts") + name) == displayName) return name;
    }
    return {};
  }
  std::vector<std::string> GroupMembers(const std::string& name) const override {
    std::map<std::string, std::string> nameOfUid;
    std::optional<VdirCard> group;
    for (const std::string& file : Names("contacts", ".vcf")) {
      std::optional<VdirCard> card = VdirCard::Read(ReadFileBytes(Collection("contacts") + file));
      if (!card) continue;
      nameOfUid[card->Uid()] = DisplayNameOf(Collection("contacts") + file);
      if (card->IsGroup() && nameOfUid[card->Uid()] == name) group = std::move(card);
    }
    std::vector<std::string> members;
    if (group) {
      for (const std::string& uid : group->MemberUids()) members.push_back(nameOfUid[uid]);
    }
    return members;
  }
  std::vector<std::string> Contacts() const override {
    std::vector<std::string> texts;
    for (const std::string& name : Names("contacts", ".vcf")) {
      const std::string text = ReadFileBytes(Collection("contacts") + name);
      const std::optional<VdirCard> card = VdirCard::Read(text);
      if (!card || !card->IsGroup()) texts.push_back(text);
    }
    std::sort(texts.begin(), texts.end());
    return texts;
  }
  std::string AddCalendarItem(SyncDataType type, const std::string& vcalendar) override {
    const std::string id = "local-" + std::to_string(++mAdded) + ".ics";
    ChangeCalendarItem(type, id, vcalendar);
    return id;
  }
  void ChangeCalendarItem(SyncDataType type, const std::string& id, const std::string& vcalendar) override {
    const std::optional<VdirCalendar> calendar = VdirCalendar::Read(vcalendar);
    if (!calendar) throw std::invalid_argument("not a calendar");
    WriteFileBytes(Collection(CalendarFolder(type)) + id, calendar->Text());
  }
  std::vector<std::string> CalendarItems(SyncDataType type) const override {
    std::vector<std::string> texts;
    for (const std::string& name : Names(CalendarFolder(type), ".ics")) texts.push_back(ReadFileBytes(Collection(CalendarFolder(type)) + name));
    std::sort(texts.begin(), texts.end());
    return texts;
  }
  std::vector<std::string> CalendarIds(SyncDataType type) const override { return Names(CalendarFolder(type), ".ics"); }
  // The file with the one property the field is written in changed, every other line as it was,
  // as the contact and calendar programs edit an item.
  void ChangeField(SyncDataType type, const std::string& id, const std::string& key, const std::string& value) override {
    const std::string path = type == DATA_TYPE_CONTACTS ? Collection("contacts") + id : Collection(CalendarFolder(type)) + id;
    const std::string text = ReadFileBytes(path);
    if (type == DATA_TYPE_CONTACTS) {
      VCardContext context;
      const PVCardPtr card = Zep3_PVCard_FromStream(&context, text);
      if (!card) throw std::runtime_error("cannot read " + path);
      CDataItem record;
      ContactRecordBuilder(record).Build(*card);
      record[key] = value;
      WriteFileBytes(path, MergeContactText(text, record));
      return;
    }
    std::vector<CDataItem::Ptr> records = CalendarRecordBuilder::BuildAll(text);
    if (records.empty()) throw std::runtime_error("cannot read " + path);
    (*records.front())[key] = value;
    WriteFileBytes(path, MergeCalendarText(text, *records.front()));
  }

 private:
  static const char* CalendarFolder(SyncDataType type) { return type == DATA_TYPE_TASKS ? "tasks" : "calendar"; }
  std::string Collection(const char* name) const {
    const std::string folder = mRoot + name + "/";
    fs::create_directories(folder);
    return folder;
  }
  std::vector<std::string> Names(const char* folder, const char* extension) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Collection(folder))) {
      const std::string name = entry.path().filename().string();
      if (entry.is_regular_file() && VdirCollection::IsItemName(name, extension)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string mRoot;
  int mAdded = 0;
};

// ---- Outlook profile

ObjectFactory ProfileFactory(const std::string& profile) {
  ObjectFactory factory;
  factory.Register("Outlook.Application", [profile] { return outlookmodel::CreateOutlookApplication(profile); });
  return factory;
}

class OutlookStoreFactory final : public SyncStoreFactory {
 public:
  OutlookStoreFactory(const std::string& profile, int killAfterWrites)
      : mFactory(ProfileFactory(profile)), mKillAfterWrites(killAfterWrites) {}
  std::unique_ptr<CDatabaseObject> CreateStore(CConf& conf, Prompt& prompt) override {
    return std::make_unique<KillingStore<COutlook>>(mKillAfterWrites, conf, prompt, mFactory);
  }

 private:
  ObjectFactory mFactory;
  int mKillAfterWrites;
};

// The contact fields the user edits, by record key (the record read from a card with the shared
// contact rules), written and read through the object model as any program would.
struct UserField {
  const char* key;
  DispId id;
};
constexpr UserField kUserFields[] = {
    {"PR_DISPLAY_NAME", OutlookId::kFileAs},
    {"PR_SURNAME", OutlookId::kLastName},
    {"PR_GIVEN_NAME", OutlookId::kFirstName},
    {"PR_COMPANY_NAME", OutlookId::kCompanyName},
    {"PR_TITLE", OutlookId::kJobTitle},
    {"PR_COMMENT", OutlookId::kBody},
    {"PR_BUSINESS_TELEPHONE_NUMBER", OutlookId::kBusinessTelephoneNumber},
    {"PR_BUSINESS2_TELEPHONE_NUMBER", OutlookId::kBusiness2TelephoneNumber},
    {"PR_HOME_TELEPHONE_NUMBER", OutlookId::kHomeTelephoneNumber},
    {"PR_MOBILE_TELEPHONE_NUMBER", OutlookId::kMobileTelephoneNumber},
    {"PR_BUSINESS_HOME_PAGE", OutlookId::kBusinessHomePage},
    {"PR_STREET_ADDRESS", OutlookId::kBusinessAddressStreet},
    {"PR_LOCALITY", OutlookId::kBusinessAddressCity},
};
constexpr DispId kEmailFields[] = {OutlookId::kEmail1Address, OutlookId::kEmail2Address, OutlookId::kEmail3Address};

class OutlookSide final : public LocalSide {
 public:
  explicit OutlookSide(std::string folder)
      : mProfile(folder + "outlook/profile.db"), mUserConf(std::make_unique<CConf>(folder + "outlook/user")) {
    mUserConf->SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
    mUserConf->SetSyncPeriod(kAllEvents);
    mUserConf->SetSilent(true);
  }
  const char* Name() const override { return "Outlook"; }
  StoreCapabilities Capabilities() const override { return {true, true, false, true, true, true}; }
  void Configure(CConf& conf) override {
    conf.SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
    Session();
  }
  // The user's events and tasks are made the way the store writes the server's: the calendar
  // fields have one mapping, which the store's own tests check against the object model.
  std::string AddCalendarItem(SyncDataType type, const std::string& vcalendar) override {
    std::string id;
    WriteCalendarItem(type, id, vcalendar);
    return id;
  }
  void ChangeCalendarItem(SyncDataType type, const std::string& id, const std::string& vcalendar) override {
    std::string written = id;
    WriteCalendarItem(type, written, vcalendar);
  }
  std::vector<std::string> CalendarItems(SyncDataType type) const override {
    const std::unique_ptr<COutlook> store = UserStore(type);
    CDataItemList records;
    if ((type == DATA_TYPE_TASKS ? store->LoadTasks(records) : store->LoadEvents(records)) != kStoreOk) {
      throw std::runtime_error("cannot read the Outlook profile's calendar");
    }
    std::map<std::string, std::vector<CDataItem::Ptr>> bySeries;
    for (const CDataItem::Ptr& record : records.Items()) bySeries[SeriesKeyOf(record->itemId)].push_back(record);
    std::vector<std::string> texts;
    for (const auto& [series, parts] : bySeries) texts.push_back(ToVCalendar(parts));
    std::sort(texts.begin(), texts.end());
    return texts;
  }
  std::vector<std::string> CalendarIds(SyncDataType type) const override {
    const outlook::Items items = Session().GetDefaultFolder(type == DATA_TYPE_TASKS ? olFolderTasks : olFolderCalendar).GetItems();
    std::vector<std::string> ids;
    for (int32_t i = 1; i <= items.GetCount(); ++i) ids.push_back(outlook::OutlookItem(items.Item(i)).GetEntryID());
    std::sort(ids.begin(), ids.end());
    return ids;
  }
  // A field of the item's form changed and saved, through the object model.
  void ChangeField(SyncDataType type, const std::string& id, const std::string& key, const std::string& value) override {
    const outlook::OutlookItem item(Session().GetItemFromID(id, ""));
    const DispId field = FieldOf(type, key);
    if (field == 0) throw std::logic_error("no Outlook field for " + key);
    item.PutText(field, value);
    item.Save();
  }
  void AddWeeklySeries(const std::string& summary, double localStart, int minutes, int count) override {
    const outlook::AppointmentItem series(Session().GetDefaultFolder(olFolderCalendar).GetItems().Add("IPM.Appointment"));
    series.SetSubject(summary);
    series.SetStart(localStart);
    series.SetEnd(localStart + minutes / (24.0 * 60.0));
    const outlook::RecurrencePattern pattern = series.GetRecurrencePattern();
    pattern.SetRecurrenceType(olRecursWeekly);
    pattern.SetDayOfWeekMask(1 << (static_cast<int>(std::floor(localStart) + 6) % 7));  // olSunday is 1
    pattern.SetOccurrences(count);
    series.Save();
  }
  std::optional<double> OccurrenceShownOn(const std::string& summary, double localDay) const override {
    const outlook::Items items = Session().GetDefaultFolder(olFolderCalendar).GetItems();
    for (int32_t i = 1; i <= items.GetCount(); ++i) {
      const outlook::AppointmentItem series(items.Item(i));
      if (series.GetSubject() != summary || !series.GetBool(OutlookId::kIsRecurring)) continue;
      try {
        return series.GetRecurrencePattern().GetOccurrence(localDay).GetStart();
      } catch (const std::exception&) {
        return std::nullopt;
      }
    }
    return std::nullopt;
  }
  std::unique_ptr<SyncStoreFactory> MakeStoreFactory(int killAfterServerWrites) override {
    return std::make_unique<OutlookStoreFactory>(mProfile, killAfterServerWrites);
  }
  std::string AddContact(const std::string& vcard) override {
    const outlook::ContactItem contact(ContactsFolder().GetItems().Add("IPM.Contact"));
    Fill(contact, vcard);
    return contact.GetEntryID();
  }
  void ChangeContact(const std::string& id, const std::string& vcard) override {
    Fill(outlook::ContactItem(Session().GetItemFromID(id, "")), vcard);
  }
  void DeleteContact(const std::string& id) override { outlook::OutlookItem(Session().GetItemFromID(id, "")).Delete(); }
  std::vector<std::string> GroupMembers(const std::string& name) const override {
    const outlook::Items items = ContactsFolder().GetItems();
    for (int32_t i = 1; i <= items.GetCount(); ++i) {
      const outlook::DistListItem list(items.Item(i));
      if (list.GetMessageClass() != "IPM.DistList" || list.GetDLName() != name) continue;
      std::vector<std::string> members;
      for (int32_t m = 1; m <= list.GetMemberCount(); ++m) members.push_back(list.GetMember(m).GetName());
      return members;
    }
    return {};
  }
  std::string IdOf(const std::string& displayName) const override {
    const outlook::Items items = ContactsFolder().GetItems();
    for (int32_t i = 1; i <= items.GetCount(); ++i) {
      const outlook::ContactItem contact(items.Item(i));
      if (contact.GetMessageClass() == "IPM.Contact" && contact.GetFileAs() == displayName) return contact.GetEntryID();
    }
    return {};
  }
  std::vector<std::string> Contacts() const override {
    std::vector<std::string> texts;
    const outlook::Items items = ContactsFolder().GetItems();
    for (int32_t i = 1; i <= items.GetCount(); ++i) {
      const outlook::ContactItem contact(items.Item(i));
      if (contact.GetMessageClass() == "IPM.Contact") texts.push_back(CardOf(contact));
    }
    std::sort(texts.begin(), texts.end());
    return texts;
  }

 private:
  outlook::NameSpace Session() const {
    if (!mNamespace) mNamespace = outlook::Application(outlookmodel::CreateOutlookApplication(mProfile)).GetNamespace("MAPI");
    return mNamespace;
  }
  outlook::MAPIFolder ContactsFolder() const { return Session().GetDefaultFolder(olFolderContacts); }

  static void Fill(const outlook::ContactItem& contact, const std::string& vcard) {
    VCardContext context;
    const PVCardPtr card = Zep3_PVCard_FromStream(&context, vcard);
    CDataItem record;
    if (card) ContactRecordBuilder(record).Build(*card);
    for (const UserField& field : kUserFields) contact.PutText(field.id, record.Property(field.key));
    const std::vector<std::string> addresses = SplitTabs(record.Property("PR_CONTACT_EMAIL_ADDRESSES"));
    for (size_t i = 0; i < std::size(kEmailFields); ++i) contact.PutText(kEmailFields[i], i < addresses.size() ? addresses[i] : "");
    contact.Save();
  }

  static DispId FieldOf(SyncDataType type, const std::string& key) {
    if (type == DATA_TYPE_CONTACTS) {
      for (const UserField& field : kUserFields) {
        if (key == field.key) return field.id;
      }
      return 0;
    }
    if (key == "VC_SUMMARY") return OutlookId::kSubject;
    if (key == "VC_LOCATION") return OutlookId::kLocation;
    return 0;
  }

  static std::string CardOf(const outlook::ContactItem& contact) {
    CDataItem record;
    for (const UserField& field : kUserFields) {
      if (const std::string value = contact.GetText(field.id); !value.empty()) record[field.key] = value;
    }
    std::string typed;
    for (const DispId id : kEmailFields) {
      if (const std::string address = contact.GetText(id); !address.empty()) typed += "H:" + address + "\t";
    }
    if (!typed.empty()) record["PR_ZEP_EMAIL_ADDRESSES_TYPES"] = typed;
    return record.ToVCard();
  }

  static std::vector<std::string> SplitTabs(const std::string& list) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t tab = list.find('\t'); tab != std::string::npos; tab = list.find('\t', start)) {
      parts.push_back(list.substr(start, tab - start));
      start = tab + 1;
    }
    return parts;
  }

  std::unique_ptr<COutlook> UserStore(SyncDataType type) const {
    auto store = std::make_unique<COutlook>(*mUserConf, mPrompt, mFactory);
    if (!store->SetCurrentFolder(type, "", "")) throw std::runtime_error("no Outlook folder for the user's items");
    return store;
  }
  void WriteCalendarItem(SyncDataType type, std::string& id, const std::string& vcalendar) const {
    if (UserStore(type)->AddCalendarItem(vcalendar, id) != kStoreOk) throw std::runtime_error("Outlook refused " + vcalendar);
  }

  static constexpr int kAllEvents = 5;
  std::string mProfile;
  mutable outlook::NameSpace mNamespace;
  ObjectFactory mFactory = ProfileFactory(mProfile);
  std::unique_ptr<CConf> mUserConf;
  mutable std::ostringstream mPromptText;
  mutable HeadlessPrompt mPrompt{mPromptText};
};

}  // namespace

const char* StoreName(StoreKind kind) {
  switch (kind) {
    case StoreKind::Folder: return "Folder";
    case StoreKind::Outlook: return "Outlook";
    case StoreKind::WindowsContacts: return "WindowsContacts";
    case StoreKind::Vdir: return "Vdir";
  }
  return "";
}

std::unique_ptr<LocalSide> MakeLocalSide(StoreKind kind, const std::string& folder) {
  switch (kind) {
    case StoreKind::Folder: return std::make_unique<FolderSide>(folder + "items/");
    case StoreKind::Outlook: return std::make_unique<OutlookSide>(folder);
    case StoreKind::WindowsContacts: return std::make_unique<WabLocalSide>(folder);
    case StoreKind::Vdir: return std::make_unique<VdirSide>(folder + "vdir/");
  }
  return nullptr;
}
