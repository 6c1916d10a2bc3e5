// Creation, the folder tree of one or several stores, and look-up by entry and store identifier.
#include <sys/stat.h>

#include "tests/platform/outlookmodel/OutlookFixture.h"

namespace {

bool IsUpperHex(const std::string& text) {
  return text.size() >= 16 && text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

// The folder's name after the names of its ancestors, as long as each Parent is a folder.
std::string FullPath(const outlook::MAPIFolder& folder) {
  std::string path = folder.GetName();
  outlook::MAPIFolder current = folder;
  while (true) {
    const outlook::DispatchDriver parent(current.GetParent());
    if (parent.GetClass() != olFolder) return path;
    current = outlook::MAPIFolder(parent.Object());
    path = current.GetName() + "\\" + path;
  }
}

}  // namespace

class FolderTest : public OutlookFixture {};

TEST_F(FolderTest, EveryProgrammaticIdentifierCreatesTheApplication) {
  ObjectFactory factory = outlookmodel::MakeDefaultObjectFactory();
  for (const char* progId : {"Outlook.Application", "Outlook.Application.12", "Outlook.Application.14"}) {
    const outlook::Application application(factory.CreateObject(progId));
    EXPECT_EQ(application.GetClass(), olApplication) << progId;
    EXPECT_EQ(application.GetNamespace("MAPI").GetClass(), olNamespace);
  }
}

TEST_F(FolderTest, NotInstalledSwitchMakesCreationFailWithInvalidClassString) {
  ScopedEnv absent("LARK_OUTLOOK_NOT_INSTALLED", "1");
  ObjectFactory factory = outlookmodel::MakeDefaultObjectFactory();
  for (const char* progId : {"Outlook.Application", "Outlook.Application.12", "Outlook.Application.14"}) {
    const AutomationError error = ErrorOf([&] { factory.CreateObject(progId); });
    EXPECT_EQ(error.Code(), AutomationCode::kInvalidClassString) << progId;
    EXPECT_EQ(error.CodeText(), "Invalid class string");
  }
}

TEST_F(FolderTest, NewProfileHoldsPersonalFoldersWithTheDefaultFolders) {
  const outlook::Folders stores = mNamespace.GetFolders();
  ASSERT_EQ(stores.GetCount(), 1);
  const outlook::MAPIFolder top = stores.Item(1);
  EXPECT_EQ(top.GetName(), "Personal Folders");
  const outlook::Folders children = top.GetFolders();
  std::vector<std::string> names;
  for (int32_t i = 1; i <= children.GetCount(); ++i) names.push_back(children.Item(i).GetName());
  EXPECT_EQ(names, (std::vector<std::string>{"Inbox", "Calendar", "Contacts", "Tasks"}));

  struct stat info {};
  ASSERT_EQ(stat(mProfile.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(stat((mProfile + "-wal").c_str(), &info), 0) << "the profile runs in WAL mode";
}

TEST_F(FolderTest, DefaultFoldersHaveTheirItemTypeAndClassAndHangBelowTheStore) {
  const struct {
    int32_t kind;
    const char* name;
    int32_t itemType;
  } cases[] = {{olFolderCalendar, "Calendar", olAppointmentItem}, {olFolderContacts, "Contacts", olContactItem},
               {olFolderTasks, "Tasks", olTaskItem}, {olFolderInbox, "Inbox", olMailItem}};
  for (const auto& c : cases) {
    const outlook::MAPIFolder folder = mNamespace.GetDefaultFolder(c.kind);
    EXPECT_EQ(folder.GetName(), c.name);
    EXPECT_EQ(folder.GetDefaultItemType(), c.itemType);
    EXPECT_EQ(folder.GetClass(), olFolder);
    EXPECT_EQ(FullPath(folder), std::string("Personal Folders\\") + c.name);
  }
  EXPECT_EQ(ErrorOf([&] { mNamespace.GetDefaultFolder(99); }).Code(), AutomationCode::kInvalidArgument);
}

TEST_F(FolderTest, FoldersOfTheSameNameInTwoStoresAreFoundByTheirOwnIdentifiers) {
  const outlook::MAPIFolder archiveTop(mNamespace.Call(OutlookId::kAddStore, {"Archive"}).ToDispatch());
  const outlook::MAPIFolder archiveContacts = archiveTop.GetFolders().Add("Contacts", olFolderContacts);
  const outlook::MAPIFolder personalContacts = Contacts();

  EXPECT_EQ(mNamespace.GetFolders().GetCount(), 2);
  EXPECT_EQ(FullPath(archiveContacts), "Archive\\Contacts");
  EXPECT_EQ(archiveContacts.GetDefaultItemType(), olContactItem);
  EXPECT_NE(archiveContacts.GetStoreID(), personalContacts.GetStoreID());
  for (const std::string& id : {archiveContacts.GetEntryID(), archiveContacts.GetStoreID(), personalContacts.GetEntryID(),
                                personalContacts.GetStoreID()}) {
    EXPECT_TRUE(IsUpperHex(id)) << id;
  }

  const outlook::MAPIFolder found =
      mNamespace.GetFolderFromID(archiveContacts.GetEntryID(), archiveContacts.GetStoreID());
  EXPECT_EQ(found.GetEntryID(), archiveContacts.GetEntryID());
  EXPECT_EQ(FullPath(found), "Archive\\Contacts");

  const AutomationError wrongStore =
      ErrorOf([&] { mNamespace.GetFolderFromID(archiveContacts.GetEntryID(), personalContacts.GetStoreID()); });
  EXPECT_EQ(wrongStore.Description(), "The operation failed. An object could not be found.");
  EXPECT_EQ(ErrorOf([&] { archiveTop.GetFolders().Add("Contacts", olFolderContacts); }).Code(), AutomationCode::kFail);
}

TEST_F(FolderTest, ItemsAreFoundAcrossStoresOnlyWithTheirOwnStore) {
  const outlook::MAPIFolder archiveTop(mNamespace.Call(OutlookId::kAddStore, {"Archive"}).ToDispatch());
  const outlook::MAPIFolder archiveContacts = archiveTop.GetFolders().Add("Contacts", olFolderContacts);
  const outlook::ContactItem archived(archiveContacts.GetItems().Add("IPM.Contact"));
  archived.SetFileAs("Archived, Anna");
  archived.Save();
  const outlook::ContactItem personal = NewContact("Personal, Paul");

  const outlook::ContactItem found(mNamespace.GetItemFromID(archived.GetEntryID(), archiveContacts.GetStoreID()));
  EXPECT_EQ(found.GetFileAs(), "Archived, Anna");
  EXPECT_EQ(outlook::MAPIFolder(found.GetParent()).GetEntryID(), archiveContacts.GetEntryID());
  EXPECT_EQ(outlook::ContactItem(mNamespace.GetItemFromID(personal.GetEntryID(), Contacts().GetStoreID())).GetFileAs(),
            "Personal, Paul");

  const AutomationError wrongStore =
      ErrorOf([&] { mNamespace.GetItemFromID(archived.GetEntryID(), Contacts().GetStoreID()); });
  EXPECT_EQ(wrongStore.Code(), AutomationCode::kNotFound);
  const AutomationError unknown = ErrorOf([&] { mNamespace.GetItemFromID("00000000DEADBEEF", ""); });
  EXPECT_EQ(unknown.Description(), "The operation failed. An object could not be found.");
  EXPECT_EQ(unknown.Source(), "Outlook");
}

TEST_F(FolderTest, DispatchRejectsUnknownMembersPutsOnReadOnlyPropertiesAndWrongArgumentCounts) {
  const outlook::MAPIFolder contacts = Contacts();
  EXPECT_EQ(ErrorOf([&] { contacts.Get(0x7777); }).Code(), AutomationCode::kMemberNotFound);
  EXPECT_EQ(ErrorOf([&] { contacts.Put(OutlookId::kEntryID, "X"); }).Code(), AutomationCode::kMemberNotFound);
  EXPECT_EQ(ErrorOf([&] { contacts.GetItems().Item(1); }).Code(), AutomationCode::kBadIndex);
  const std::vector<Variant> fiveMissing(5, Variant::Missing());
  EXPECT_EQ(ErrorOf([&] { mNamespace.Call(OutlookId::kLogon, fiveMissing); }).Code(), AutomationCode::kBadParamCount);
  EXPECT_EQ(ErrorOf([&] { mApplication.GetNamespace("OTHER"); }).Code(), AutomationCode::kInvalidArgument);
}

TEST_F(FolderTest, LogonAcceptsMissingArgumentsAndLogoffEndsTheSessionCleanly) {
  const outlook::NameSpace session = mApplication.GetNamespace("MAPI");
  EXPECT_NO_THROW(session.Logon());
  EXPECT_NO_THROW(session.Call(OutlookId::kLogon, {Variant::Missing(), Variant::Missing()}));
  EXPECT_NO_THROW(session.Call(OutlookId::kLogon));
  EXPECT_EQ(session.GetDefaultFolder(olFolderTasks).GetName(), "Tasks");
  EXPECT_NO_THROW(session.Logoff());
}
