// MAPIFolder, Folders and Items.
#include "platform/outlookmodel/OutlookFolder_p.h"

#include "platform/automation/OutlookDispIds.h"

namespace outlookmodel {

using DispatchArgs::Given;
using DispatchArgs::RequireCount;

namespace {

// The item type of a folder made with Folders.Add for a default folder kind.
bool ItemTypeOfFolderKind(int32_t folderKind, int32_t& itemType) {
  switch (folderKind) {
    case olFolderInbox: itemType = olMailItem; return true;
    case olFolderCalendar: itemType = olAppointmentItem; return true;
    case olFolderContacts: itemType = olContactItem; return true;
    case olFolderTasks: itemType = olTaskItem; return true;
    default: return false;
  }
}

}  // namespace

Variant OutlookFolder::Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) {
  if (kind == InvokeKind::PropertyPut) ThrowMemberNotFound("MAPIFolder", id);
  RequireCount(args, 0, 0);
  switch (id) {
    case OutlookId::kItems: return mSession->MakeItems(mFolder.id);
    case OutlookId::kDefaultItemType: return Variant(mFolder.itemType);
    case OutlookId::kEntryID: return Variant(mFolder.entryId);
    case OutlookId::kStoreID: return Variant(mFolder.storeId);
    case OutlookId::kName: return Variant(mFolder.name);
    case OutlookId::kFolders: return mSession->MakeFolders(mFolder.id);
    case OutlookId::kParent: return Parent();
    case OutlookId::kClass: return Variant(int32_t{olFolder});
    case OutlookId::kApplication: return mSession->MakeApplication();
    case OutlookId::kSession: return mSession->MakeNamespace();
    default: break;
  }
  ThrowMemberNotFound("MAPIFolder", id);
}

// A store's top folder hangs below the namespace, whose Class is not olFolder: walking Parent
// up from any folder stops there.
Dispatch::Ptr OutlookFolder::Parent() {
  if (mFolder.parent == 0) return mSession->MakeNamespace();
  return mSession->MakeFolder(mFolder.parent);
}

Variant OutlookFolders::Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) {
  if (!IsGetCall(kind)) ThrowMemberNotFound("Folders", id);
  switch (id) {
    case OutlookId::kCount:
      RequireCount(args, 0, 0);
      return Variant(static_cast<int32_t>(mSession->Store().ChildFolders(mParent).size()));
    case OutlookId::kItem: RequireCount(args, 1, 1); return Item(args[0]);
    case OutlookId::kAdd: return Add(args);
    case OutlookId::kClass: RequireCount(args, 0, 0); return Variant(int32_t{olFolders});
    case OutlookId::kParent:
      RequireCount(args, 0, 0);
      return mParent == 0 ? mSession->MakeNamespace() : mSession->MakeFolder(mParent);
    default: break;
  }
  ThrowMemberNotFound("Folders", id);
}

// By one-based position, or by folder name.
Variant OutlookFolders::Item(const Variant& index) {
  const std::vector<FolderRecord> folders = mSession->Store().ChildFolders(mParent);
  if (index.Type() == VariantType::String) {
    for (const FolderRecord& folder : folders) {
      if (folder.name == index.ToString()) return mSession->MakeFolder(folder);
    }
    ThrowNotFound();
  }
  const int32_t position = index.ToInt();
  if (position < 1 || static_cast<size_t>(position) > folders.size()) ThrowBadIndex();
  return mSession->MakeFolder(folders[position - 1]);
}

// Name and, optionally, a default folder kind; without one the new folder holds what its parent holds.
Variant OutlookFolders::Add(const std::vector<Variant>& args) {
  RequireCount(args, 1, 2);
  if (mParent == 0) ThrowModelError(AutomationCode::kFail, "Cannot create the folder. Add a store for a new top folder.");
  const std::string name = args[0].ToString();
  if (name.empty() || name.find('\\') != std::string::npos) ThrowInvalidArgument();
  int32_t itemType = 0;
  if (Given(args, 1)) {
    if (!ItemTypeOfFolderKind(args[1].ToInt(), itemType)) ThrowInvalidArgument();
  } else {
    const std::optional<FolderRecord> parent = mSession->Store().FolderById(mParent);
    if (!parent) ThrowNotFound();
    itemType = parent->itemType;
  }
  return mSession->MakeFolder(mSession->Store().AddFolder(mParent, name, itemType));
}

Variant OutlookItems::Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) {
  if (!IsGetCall(kind)) ThrowMemberNotFound("Items", id);
  switch (id) {
    case OutlookId::kCount: RequireCount(args, 0, 0); return Variant(static_cast<int32_t>(Ids().size()));
    case OutlookId::kItem: {
      RequireCount(args, 1, 1);
      const int32_t position = args[0].ToInt();
      // The list and the item come from the same committed state.
      const SqliteTransaction snapshot = mSession->Store().ReadSnapshot();
      const std::vector<int64_t>& ids = Ids();
      if (position < 1 || static_cast<size_t>(position) > ids.size()) ThrowBadIndex();
      std::optional<ItemRecord> item = mSession->Store().LoadItem(ids[position - 1]);
      if (!item) ThrowNotFound();
      return mSession->MakeItem(std::move(*item));
    }
    case OutlookId::kAdd: return Add(args);
    case OutlookId::kClass: RequireCount(args, 0, 0); return Variant(int32_t{olItems});
    case OutlookId::kParent: RequireCount(args, 0, 0); return mSession->MakeFolder(mFolder);
    default: break;
  }
  ThrowMemberNotFound("Items", id);
}

const std::vector<int64_t>& OutlookItems::Ids() {
  const std::pair<int64_t, int64_t> stamp = mSession->Store().ChangeStamp();
  if (stamp != mIdsStamp) {
    mIds = mSession->Store().ItemIds(mFolder);
    mIdsStamp = stamp;
  }
  return mIds;
}

// A message class ("IPM.Contact") or an item type number; without one the folder's own kind.
// The item must suit the folder: contacts and lists in contact folders, and so on.
Variant OutlookItems::Add(const std::vector<Variant>& args) {
  RequireCount(args, 0, 1);
  const std::optional<FolderRecord> folder = mSession->Store().FolderById(mFolder);
  if (!folder) ThrowNotFound();
  ItemKind kind = ItemKind::Mail;
  bool known = false;
  if (!Given(args, 0)) {
    known = KindOfItemType(folder->itemType, kind);
  } else if (args[0].Type() == VariantType::String) {
    known = KindOfMessageClass(args[0].ToString(), kind);
  } else {
    known = KindOfItemType(args[0].ToInt(), kind);
  }
  if (!known || FolderItemTypeOf(kind) != folder->itemType) ThrowInvalidArgument();
  Dispatch::Ptr item = mSession->NewItem(kind, mFolder);
  if (Given(args, 0) && args[0].Type() == VariantType::String) item->PutProperty(OutlookId::kMessageClass, args[0]);
  return item;
}

}  // namespace outlookmodel
