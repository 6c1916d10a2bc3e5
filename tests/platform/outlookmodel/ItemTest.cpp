// Items: Add and Save with the modification stamp, visibility to other connections, Delete,
// distribution list members, empty dates.
#include "tests/platform/outlookmodel/OutlookFixture.h"

class ItemTest : public OutlookFixture {};

TEST_F(ItemTest, NewItemGetsItsEntryIdAndStampOnlyWhenSaved) {
  const outlook::Items items = Contacts().GetItems();
  const outlook::ContactItem contact(items.Add("IPM.Contact"));
  contact.SetFileAs("Doe, Jane");
  EXPECT_EQ(contact.GetEntryID(), "");
  EXPECT_EQ(items.GetCount(), 0) << "an unsaved item is not in its folder";

  const double before = DateNow();
  contact.Save();
  const double after = DateNow();
  EXPECT_EQ(items.GetCount(), 1);
  EXPECT_FALSE(contact.GetEntryID().empty());
  EXPECT_EQ(contact.GetMessageClass(), "IPM.Contact");
  EXPECT_GE(contact.GetLastModificationTime(), before - 1.0 / 86400);
  EXPECT_LE(contact.GetLastModificationTime(), after + 1.0 / 86400);
  EXPECT_EQ(outlook::MAPIFolder(contact.GetParent()).GetEntryID(), Contacts().GetEntryID());
}

TEST_F(ItemTest, UnchangedItemKeepsAnIdenticalStampTextAndASaveAdvancesIt) {
  const outlook::ContactItem contact = NewContact("Doe, Jane");
  const std::string stamp = StampText(contact.GetLastModificationTime());

  // Read back by two routes, twice, from another connection: the text is the same every time.
  const outlook::NameSpace other = Logon(Connect());
  const outlook::ContactItem byId(other.GetItemFromID(contact.GetEntryID(), ""));
  const outlook::ContactItem byIndex(other.GetDefaultFolder(olFolderContacts).GetItems().Item(1));
  EXPECT_EQ(StampText(byId.GetLastModificationTime()), stamp);
  EXPECT_EQ(StampText(byIndex.GetLastModificationTime()), stamp);

  byId.SetNickName("JD");
  byId.Save();
  EXPECT_GT(byId.GetLastModificationTime(), contact.GetLastModificationTime());
  EXPECT_NE(StampText(outlook::ContactItem(mNamespace.GetItemFromID(contact.GetEntryID(), "")).GetLastModificationTime()),
            stamp);
}

TEST_F(ItemTest, ChangesBecomeVisibleToOtherConnectionsOnlyWhenSaved) {
  const outlook::ContactItem contact = NewContact("Before");
  const outlook::NameSpace other = Logon(Connect());
  const std::string id = contact.GetEntryID();

  contact.SetFileAs("After");
  EXPECT_EQ(outlook::ContactItem(other.GetItemFromID(id, "")).GetFileAs(), "Before");
  contact.Save();
  EXPECT_EQ(outlook::ContactItem(other.GetItemFromID(id, "")).GetFileAs(), "After");
}

TEST_F(ItemTest, SavingOverAnotherConnectionsNewerSaveFailsInsteadOfLosingIt) {
  const outlook::ContactItem mine = NewContact("Original");
  const outlook::ContactItem theirs(Logon(Connect()).GetItemFromID(mine.GetEntryID(), ""));
  theirs.SetJobTitle("Editor");
  theirs.Save();

  mine.SetFileAs("Mine");
  EXPECT_EQ(ErrorOf([&] { mine.Save(); }).Code(), AutomationCode::kObjectChanged);
  const outlook::ContactItem stored(mNamespace.GetItemFromID(mine.GetEntryID(), ""));
  EXPECT_EQ(stored.GetJobTitle(), "Editor");
  EXPECT_EQ(stored.GetFileAs(), "Original");
}

TEST_F(ItemTest, DeleteRemovesTheItemEverywhere) {
  const outlook::ContactItem keep = NewContact("Keep");
  const outlook::ContactItem gone = NewContact("Gone");
  const std::string id = gone.GetEntryID();
  gone.Delete();

  const outlook::Items items = Contacts().GetItems();
  ASSERT_EQ(items.GetCount(), 1);
  EXPECT_EQ(outlook::ContactItem(items.Item(1)).GetFileAs(), "Keep");
  EXPECT_EQ(ErrorOf([&] { mNamespace.GetItemFromID(id, ""); }).Code(), AutomationCode::kNotFound);
  EXPECT_EQ(ErrorOf([&] { gone.GetFileAs(); }).Code(), AutomationCode::kObjectDeleted);
}

TEST_F(ItemTest, ItemsMustSuitTheirFolder) {
  EXPECT_EQ(ErrorOf([&] { Contacts().GetItems().Add("IPM.Appointment"); }).Code(), AutomationCode::kInvalidArgument);
  EXPECT_EQ(ErrorOf([&] { Calendar().GetItems().Add("IPM.Task"); }).Code(), AutomationCode::kInvalidArgument);
  const outlook::OutlookItem custom(Contacts().GetItems().Add("IPM.Contact.Custom"));
  EXPECT_EQ(custom.GetMessageClass(), "IPM.Contact.Custom");
  EXPECT_EQ(custom.GetClass(), olContact);
}

TEST_F(ItemTest, ContactSavedWithoutFileAsFilesUnderLastAndFirstName) {
  const outlook::ContactItem contact(Contacts().GetItems().Add("IPM.Contact"));
  contact.SetFirstName("Jane");
  contact.SetLastName("Doe");
  contact.Save();
  EXPECT_EQ(contact.GetFileAs(), "Doe, Jane");
}

TEST_F(ItemTest, EmptyDatesReadAsTheYear4501AndTaskDatesPersist) {
  const outlook::TaskItem task(mNamespace.GetDefaultFolder(olFolderTasks).GetItems().Add("IPM.Task"));
  EXPECT_TRUE(IsNoDate(task.GetStartDate()));
  EXPECT_TRUE(IsNoDate(task.GetDueDate()));
  task.SetSubject("File taxes");
  task.SetDueDate(At(2025, 4, 30));
  task.SetStatus(1);
  task.Save();
  const outlook::TaskItem stored(mNamespace.GetItemFromID(task.GetEntryID(), ""));
  EXPECT_EQ(stored.GetDueDate(), At(2025, 4, 30));
  EXPECT_TRUE(IsNoDate(stored.GetStartDate()));
  EXPECT_EQ(stored.GetStatus(), 1);
  EXPECT_EQ(stored.GetImportance(), 1) << "importance defaults to normal";
}

TEST_F(ItemTest, DistributionListMembersReferToContactsWithTheReferencePrefix) {
  const outlook::ContactItem ann = NewContact("Ann", "ann@example.org");
  const outlook::ContactItem bob = NewContact("Bob", "bob@example.org");
  const outlook::DistListItem list(Contacts().GetItems().Add("IPM.DistList"));
  list.SetDLName("Team");
  const outlook::MailItem scratch(mApplication.CreateItem(olMailItem));
  const outlook::Recipients names = scratch.GetRecipients();
  names.Add("Ann");
  names.Add("Bob");
  list.AddMembers(names);
  list.AddMembers(names);  // already members: not added twice
  list.Save();

  const outlook::DistListItem stored(mNamespace.GetItemFromID(list.GetEntryID(), ""));
  EXPECT_EQ(stored.GetMessageClass(), "IPM.DistList");
  ASSERT_EQ(stored.GetMemberCount(), 2);
  EXPECT_EQ(stored.GetMember(1).GetEntryID(), std::string(kContactReferencePrefix) + ann.GetEntryID());
  EXPECT_EQ(stored.GetMember(1).GetName(), "Ann");
  EXPECT_EQ(stored.GetMember(2).GetAddress(), "bob@example.org");

  const outlook::MailItem removal(mApplication.CreateItem(olMailItem));
  removal.GetRecipients().Add("Ann");
  stored.RemoveMembers(removal.GetRecipients());
  stored.Save();
  const outlook::DistListItem after(mNamespace.GetItemFromID(list.GetEntryID(), ""));
  ASSERT_EQ(after.GetMemberCount(), 1);
  EXPECT_EQ(after.GetMember(1).GetEntryID(), std::string(kContactReferencePrefix) + bob.GetEntryID());
}

TEST_F(ItemTest, UnknownMemberNameAddsNothing) {
  NewContact("Ann", "ann@example.org");
  const outlook::DistListItem list(Contacts().GetItems().Add("IPM.DistList"));
  const outlook::MailItem scratch(mApplication.CreateItem(olMailItem));
  scratch.GetRecipients().Add("Ann");
  scratch.GetRecipients().Add("Nobody Known");
  EXPECT_EQ(ErrorOf([&] { list.AddMembers(scratch.GetRecipients()); }).Code(), AutomationCode::kFail);
  EXPECT_EQ(list.GetMemberCount(), 0);
}

TEST_F(ItemTest, ProfileKeepsItemsAcrossApplications) {
  const std::string id = NewContact("Kept").GetEntryID();
  const outlook::NameSpace later = Logon(Connect());
  EXPECT_EQ(outlook::ContactItem(later.GetItemFromID(id, "")).GetFileAs(), "Kept");
}

TEST_F(ItemTest, AttendeesKeepTheirNameAddressAndResponse) {
  const outlook::AppointmentItem meeting(Calendar().GetItems().Add("IPM.Appointment"));
  meeting.SetStart(At(2024, 5, 6, 9, 0));
  meeting.SetEnd(At(2024, 5, 6, 10, 0));
  const outlook::Recipient attendee = meeting.GetRecipients().Add("carol@example.org");
  attendee.GetAddressEntry().SetName("Carol C");
  attendee.SetMeetingResponseStatus(3);
  meeting.SetMeetingStatus(1);
  meeting.Save();

  const outlook::AppointmentItem stored(mNamespace.GetItemFromID(meeting.GetEntryID(), ""));
  ASSERT_EQ(stored.GetRecipients().GetCount(), 1);
  EXPECT_EQ(stored.GetRecipients().Item(1).GetName(), "Carol C");
  EXPECT_EQ(stored.GetRecipients().Item(1).GetAddress(), "carol@example.org");
  EXPECT_EQ(stored.GetRecipients().Item(1).GetMeetingResponseStatus(), 3);
  EXPECT_EQ(stored.GetMeetingStatus(), 1);
  stored.GetRecipients().Remove(1);
  EXPECT_EQ(stored.GetRecipients().GetCount(), 0);
}

TEST_F(ItemTest, ItemsCollectionSeesItemsAnotherConnectionAddsOrDeletes) {
  const outlook::Items items = Contacts().GetItems();
  EXPECT_EQ(items.GetCount(), 0);
  const outlook::NameSpace other = Logon(Connect());
  const outlook::ContactItem added(other.GetDefaultFolder(olFolderContacts).GetItems().Add("IPM.Contact"));
  added.SetFileAs("From elsewhere");
  added.Save();
  ASSERT_EQ(items.GetCount(), 1);
  EXPECT_EQ(outlook::ContactItem(items.Item(1)).GetFileAs(), "From elsewhere");
  const outlook::ContactItem second(other.GetDefaultFolder(olFolderContacts).GetItems().Add("IPM.Contact"));
  second.SetFileAs("Second");
  second.Save();
  EXPECT_EQ(outlook::ContactItem(items.Item(2)).GetFileAs(), "Second") << "Item alone sees the new list";
  outlook::ContactItem(other.GetItemFromID(added.GetEntryID(), "")).Delete();
  EXPECT_EQ(outlook::ContactItem(items.Item(1)).GetFileAs(), "Second");
  outlook::ContactItem(other.GetItemFromID(second.GetEntryID(), "")).Delete();
  EXPECT_EQ(items.GetCount(), 0);
}

TEST_F(ItemTest, SavingAnItemAnotherConnectionDeletedFailsAsDeleted) {
  const outlook::ContactItem mine = NewContact("Short-lived");
  outlook::ContactItem(Logon(Connect()).GetItemFromID(mine.GetEntryID(), "")).Delete();
  mine.SetFileAs("Changed");
  EXPECT_EQ(ErrorOf([&] { mine.Save(); }).Code(), AutomationCode::kObjectDeleted);
  EXPECT_EQ(Contacts().GetItems().GetCount(), 0) << "the save did not bring the item back";
}
