// Items: stored properties by DISPID, Save, Delete, Parent; contacts and distribution lists.
#include "platform/outlookmodel/OutlookItem_p.h"

#include <algorithm>

#include "platform/automation/AutomationDate.h"
#include "platform/automation/OutlookDispIds.h"
#include "platform/outlookmodel/ModelTime_p.h"
#include "platform/outlookmodel/OutlookRecipient_p.h"

namespace outlookmodel {

using DispatchArgs::PutValue;
using DispatchArgs::RequireCount;

namespace {

// Longest text a property takes; the profile refuses larger rows as well.
constexpr size_t kMaxTextBytes = size_t(4) << 20;

}  // namespace

OutlookItem::OutlookItem(std::shared_ptr<ModelSession> session, ItemKind kind, ItemRecord record)
    : mSession(std::move(session)), mKind(kind), mRecord(std::move(record)), mLoadedStamp(mRecord.lastModified) {
  SetRecipientValues(mRecord.recipients);
}

Variant OutlookItem::Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) {
  RequireAlive();
  Variant result;
  if (InvokeOwn(id, kind, args, result)) return result;
  if (const PropertyDef* property = FindProperty(mKind, id)) {
    if (kind == InvokeKind::PropertyPut) {
      WriteStored(*property, PutValue(args));
      return Variant();
    }
    RequireCount(args, 0, 0);
    return ReadStored(*property);
  }
  if (kind == InvokeKind::PropertyPut) {
    if (id != OutlookId::kMessageClass) ThrowMemberNotFound("Item", id);
    PutMessageClass(PutValue(args));
    return Variant();
  }
  switch (id) {
    case OutlookId::kSave: RequireCount(args, 0, 0); Save(); return Variant();
    case OutlookId::kDelete: RequireCount(args, 0, 0); Delete(); return Variant();
    default: break;
  }
  RequireCount(args, 0, 0);
  switch (id) {
    case OutlookId::kEntryID: return Variant(EntryId());
    case OutlookId::kLastModificationTime: return Variant::Date(LastModificationTime());
    case OutlookId::kCreationTime: return Variant::Date(mRecord.created);
    case OutlookId::kMessageClass: return Variant(mRecord.messageClass);
    case OutlookId::kRecipients: return Dispatch::Ptr(std::make_shared<OutlookRecipients>(shared_from_this()));
    case OutlookId::kParent: return mSession->MakeFolder(FolderId());
    case OutlookId::kClass: return Variant(ObjectClassOf(mKind));
    case OutlookId::kApplication: return mSession->MakeApplication();
    case OutlookId::kSession: return mSession->MakeNamespace();
    default: break;
  }
  ThrowMemberNotFound("Item", id);
}

bool OutlookItem::InvokeOwn(DispId, InvokeKind, const std::vector<Variant>&, Variant&) { return false; }

Variant OutlookItem::ReadStored(const PropertyDef& property) {
  const auto found = mRecord.props.find(property.name);
  if (found == mRecord.props.end()) return DefaultValue(property);
  if (mRecord.instants.count(property.name) != 0) return Variant::Date(LocalDateOfUtc(found->second.ToDate()));
  return found->second;
}

void OutlookItem::WriteStored(const PropertyDef& property, const Variant& value) {
  Variant converted = value.ConvertTo(property.type);
  if (property.type == VariantType::String && converted.ToString().size() > kMaxTextBytes) {
    ThrowModelError(AutomationCode::kInvalidArgument, "The text of " + std::string(property.name) + " is too long.");
  }
  if (property.type != VariantType::Date) {
    mRecord.props[property.name] = std::move(converted);
    return;
  }
  const double date = RoundToMillisecond(converted.ToDate());
  if (StoresInstant(property, date)) {
    mRecord.props[property.name] = Variant::Date(UtcDateOfLocal(date));
    mRecord.instants.insert(property.name);
  } else {
    mRecord.props[property.name] = Variant::Date(date);
    mRecord.instants.erase(property.name);
  }
}

// A date with a time of day is a moment; a date alone (midnight, or no date) is a day of the calendar.
bool OutlookItem::StoresInstant(const PropertyDef&, double date) { return TimeOfDay(date) != 0.0 && !IsNoDate(date); }

Variant OutlookItem::StoredValue(const char* name) {
  const PropertyDef* property = FindProperty(mKind, std::string_view(name));
  return property != nullptr ? ReadStored(*property) : Variant();
}

void OutlookItem::PutMessageClass(const Variant& value) {
  ItemKind kind;
  const std::string messageClass = value.ToString();
  if (!KindOfMessageClass(messageClass, kind) || kind != mKind) ThrowInvalidArgument();
  mRecord.messageClass = messageClass;
}

void OutlookItem::RequireAlive() const {
  if (mDeleted) ThrowModelError(AutomationCode::kObjectDeleted, "The item has been moved or deleted.");
}

int64_t OutlookItem::FolderId() {
  if (mRecord.folder == 0) mRecord.folder = mSession->DefaultFolderFor(mKind);
  return mRecord.folder;
}

int64_t OutlookItem::StoreId() {
  const std::optional<FolderRecord> folder = mSession->Store().FolderById(FolderId());
  if (!folder) ThrowNotFound();
  return folder->store;
}

std::vector<RecipientData> OutlookItem::RecipientValues() const {
  std::vector<RecipientData> values;
  for (const auto& recipient : mRecipients) values.push_back(*recipient);
  return values;
}

void OutlookItem::SetRecipientValues(const std::vector<RecipientData>& recipients) {
  mRecipients.clear();
  for (const RecipientData& recipient : recipients) mRecipients.push_back(std::make_shared<RecipientData>(recipient));
}

void OutlookItem::Save() {
  PrepareSave();
  ItemRecord record = mRecord;
  record.folder = FolderId();
  record.recipients = RecipientValues();
  mSession->Store().SaveItem(record, mLoadedStamp);
  mRecord = std::move(record);
  mLoadedStamp = mRecord.lastModified;
}

// Deleting an item that was never saved only discards it.
void OutlookItem::Delete() {
  if (mRecord.id != 0) mSession->Store().DeleteItem(mRecord.id);
  mDeleted = true;
}

void OutlookContact::PrepareSave() {
  if (!StoredValue("FileAs").ToString().empty()) return;
  const std::string last = StoredValue("LastName").ToString();
  const std::string first = StoredValue("FirstName").ToString();
  std::string fileAs = !last.empty() && !first.empty() ? last + ", " + first : last + first;
  if (fileAs.empty()) fileAs = StoredValue("CompanyName").ToString();
  if (!fileAs.empty()) WriteStored(*FindProperty(mKind, OutlookId::kFileAs), Variant(fileAs));
}

bool OutlookDistList::InvokeOwn(DispId id, InvokeKind kind, const std::vector<Variant>& args, Variant& result) {
  if (kind == InvokeKind::PropertyPut) return false;
  switch (id) {
    case OutlookId::kMemberCount:
      RequireCount(args, 0, 0);
      result = Variant(static_cast<int32_t>(mRecipients.size()));
      return true;
    case OutlookId::kGetMember: {
      RequireCount(args, 1, 1);
      const int32_t position = args[0].ToInt();
      if (position < 1 || static_cast<size_t>(position) > mRecipients.size()) ThrowBadIndex();
      // A member is read through a copy: changing it is done with AddMembers and RemoveMembers.
      auto copy = std::make_shared<RecipientData>(*mRecipients[position - 1]);
      result = Dispatch::Ptr(std::make_shared<OutlookRecipient>(mSession, copy, shared_from_this(), true));
      return true;
    }
    case OutlookId::kAddMembers: RequireCount(args, 1, 1); AddMembers(args[0]); return true;
    case OutlookId::kRemoveMembers: RequireCount(args, 1, 1); RemoveMembers(args[0]); return true;
    default: return false;
  }
}

// A recipient already resolved to a contact is that contact; every other name must resolve to a
// contact or be an e-mail address; otherwise nothing is added. A contact or address already in
// the list is not added twice.
void OutlookDistList::AddMembers(const Variant& recipients) {
  std::vector<RecipientData> added;
  const Dispatch::Ptr collection = recipients.ToDispatch();
  const int32_t count = collection->GetProperty(OutlookId::kCount).ToInt();
  for (int32_t index = 1; index <= count; ++index) {
    const Dispatch::Ptr recipient = collection->CallMethod(OutlookId::kItem, {index}).ToDispatch();
    const std::string name = recipient->GetProperty(OutlookId::kName).ToString();
    const std::string entryId = recipient->GetProperty(OutlookId::kEntryID).ToString();
    if (!entryId.empty()) {
      added.push_back({name, recipient->GetProperty(OutlookId::kAddress).ToString(), entryId, 1, 0});
      continue;
    }
    bool resolved = false;
    RecipientData member = ResolveRecipient(mSession->Store(), StoreId(), FolderId(), name, resolved);
    if (!resolved && member.address.empty()) {
      ThrowModelError(AutomationCode::kFail, "Outlook does not recognize one or more names (\"" + name + "\").");
    }
    added.push_back(std::move(member));
  }
  for (RecipientData& member : added) {
    const bool present = std::any_of(mRecipients.begin(), mRecipients.end(), [&](const auto& existing) {
      return member.entryId.empty() ? existing->entryId.empty() && existing->address == member.address
                                    : existing->entryId == member.entryId;
    });
    if (!present) mRecipients.push_back(std::make_shared<RecipientData>(std::move(member)));
  }
}

void OutlookDistList::RemoveMembers(const Variant& recipients) {
  for (const std::string& name : RecipientNames(recipients)) {
    bool resolved = false;
    const RecipientData target = ResolveRecipient(mSession->Store(), StoreId(), FolderId(), name, resolved);
    std::erase_if(mRecipients, [&](const auto& member) {
      return resolved ? member->entryId == target.entryId : member->name == name || member->address == name;
    });
  }
}

std::vector<std::string> RecipientNames(const Variant& recipients) {
  const Dispatch::Ptr collection = recipients.ToDispatch();
  std::vector<std::string> names;
  const int32_t count = collection->GetProperty(OutlookId::kCount).ToInt();
  for (int32_t index = 1; index <= count; ++index) {
    const Dispatch::Ptr recipient = collection->CallMethod(OutlookId::kItem, {index}).ToDispatch();
    names.push_back(recipient->GetProperty(OutlookId::kName).ToString());
  }
  return names;
}

}  // namespace outlookmodel
