// The Application and NameSpace objects, and the registration of the model's identifiers.
#include "platform/outlookmodel/OutlookApplication_p.h"

#include <cstdlib>
#include <cstring>

#include "platform/automation/OutlookDispIds.h"
#include "platform/outlookmodel/OutlookModel.h"
#include "platform/outlookmodel/OutlookRecipient_p.h"

namespace outlookmodel {

using DispatchArgs::At;
using DispatchArgs::Given;
using DispatchArgs::RequireCount;

Variant OutlookApplication::Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) {
  if (!IsGetCall(kind)) ThrowMemberNotFound("Application", id);
  switch (id) {
    case OutlookId::kGetNamespace: {
      RequireCount(args, 1, 1);
      std::string type = args[0].ToString();
      for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (type != "MAPI") ThrowInvalidArgument();
      return mSession->MakeNamespace();
    }
    case OutlookId::kCreateItem: {
      RequireCount(args, 1, 1);
      ItemKind itemKind;
      if (!KindOfItemType(args[0].ToInt(), itemKind)) ThrowInvalidArgument();
      return mSession->NewItem(itemKind, 0);
    }
    case OutlookId::kSession: RequireCount(args, 0, 0); return mSession->MakeNamespace();
    case OutlookId::kApplication: RequireCount(args, 0, 0); return mSession->MakeApplication();
    case OutlookId::kClass: RequireCount(args, 0, 0); return Variant(int32_t{olApplication});
    case OutlookId::kParent: RequireCount(args, 0, 0); return Variant();
    default: break;
  }
  ThrowMemberNotFound("Application", id);
}

Variant OutlookNamespace::Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) {
  if (!IsGetCall(kind)) ThrowMemberNotFound("NameSpace", id);
  switch (id) {
    case OutlookId::kLogon:
      // Profile name, password, show dialog, new session: there is one profile and no password.
      RequireCount(args, 0, 4);
      mLoggedOn = true;
      return Variant();
    case OutlookId::kLogoff: RequireCount(args, 0, 0); mLoggedOn = false; return Variant();
    case OutlookId::kFolders: RequireCount(args, 0, 0); return mSession->MakeFolders(0);
    case OutlookId::kGetFolderFromID: return GetFolderFromId(args);
    case OutlookId::kGetItemFromID: return GetItemFromId(args);
    case OutlookId::kGetDefaultFolder: return GetDefaultFolder(args);
    case OutlookId::kAddStore: return AddStore(args);
    case OutlookId::kCurrentUser: {
      RequireCount(args, 0, 0);
      const UserIdentity user = mSession->Store().CurrentUser();
      auto data = std::make_shared<RecipientData>(RecipientData{user.name, user.address, "", 1, 0});
      return Dispatch::Ptr(std::make_shared<OutlookRecipient>(mSession, data, mSession->MakeNamespace(), true));
    }
    case OutlookId::kNamespaceType: RequireCount(args, 0, 0); return Variant("MAPI");
    case OutlookId::kFlushSavedItems: RequireCount(args, 0, 0); mSession->Store().MakeDurable(); return Variant();
    case OutlookId::kApplication:
    case OutlookId::kParent: RequireCount(args, 0, 0); return mSession->MakeApplication();
    case OutlookId::kSession: RequireCount(args, 0, 0); return mSession->MakeNamespace();
    case OutlookId::kClass: RequireCount(args, 0, 0); return Variant(int32_t{olNamespace});
    default: break;
  }
  ThrowMemberNotFound("NameSpace", id);
}

Variant OutlookNamespace::GetFolderFromId(const std::vector<Variant>& args) {
  RequireCount(args, 1, 2);
  const std::optional<FolderRecord> folder = mSession->Store().FolderByEntryId(args[0].ToString());
  if (!folder) ThrowNotFound();
  if (Given(args, 1) && !args[1].ToString().empty() && !EqualsStoreId(folder->storeId, args[1].ToString())) ThrowNotFound();
  return mSession->MakeFolder(*folder);
}

Variant OutlookNamespace::GetItemFromId(const std::vector<Variant>& args) {
  RequireCount(args, 1, 2);
  ProfileStore& store = mSession->Store();
  const std::optional<int64_t> id = store.FindItem(args[0].ToString());
  if (!id) ThrowNotFound();
  std::optional<ItemRecord> item = store.LoadItem(*id);
  if (!item) ThrowNotFound();
  if (Given(args, 1) && !args[1].ToString().empty()) {
    const std::optional<FolderRecord> folder = store.FolderById(item->folder);
    if (!folder || !EqualsStoreId(folder->storeId, args[1].ToString())) ThrowNotFound();
  }
  return mSession->MakeItem(std::move(*item));
}

Variant OutlookNamespace::GetDefaultFolder(const std::vector<Variant>& args) {
  RequireCount(args, 1, 1);
  const int32_t folderKind = args[0].ToInt();
  if (folderKind != olFolderInbox && folderKind != olFolderCalendar && folderKind != olFolderContacts &&
      folderKind != olFolderTasks) {
    ThrowInvalidArgument();
  }
  const std::optional<FolderRecord> folder = mSession->Store().DefaultFolder(folderKind);
  if (!folder) ThrowNotFound();
  return mSession->MakeFolder(*folder);
}

Variant OutlookNamespace::AddStore(const std::vector<Variant>& args) {
  RequireCount(args, 1, 1);
  const std::string name = args[0].ToString();
  if (name.empty()) ThrowInvalidArgument();
  return mSession->MakeFolder(mSession->Store().AddStore(name).rootFolder);
}

bool IsOutlookModelInstalled() {
  const char* absent = std::getenv("LARK_OUTLOOK_NOT_INSTALLED");
  return absent == nullptr || *absent == '\0' || std::strcmp(absent, "0") == 0;
}

Dispatch::Ptr CreateOutlookApplication(const std::string& profilePath) {
  try {
    return std::make_shared<ModelSession>(profilePath)->MakeApplication();
  } catch (const AutomationError& error) {
    throw AutomationError(AutomationCode::kServerExecFailure, kModelSource,
                          "Cannot open the mail profile. " + error.Description());
  }
}

void RegisterOutlookModel(ObjectFactory& factory) {
  const auto create = []() -> Dispatch::Ptr {
    if (!IsOutlookModelInstalled()) {
      throw AutomationError(AutomationCode::kInvalidClassString, "CreateDispatch",
                            AutomationCodeText(AutomationCode::kInvalidClassString));
    }
    return CreateOutlookApplication(ProfileStore::DefaultPath());
  };
  for (const char* progId : {"Outlook.Application", "Outlook.Application.12", "Outlook.Application.14"}) {
    factory.Register(progId, create);
  }
}

ObjectFactory MakeDefaultObjectFactory() {
  ObjectFactory factory;
  RegisterOutlookModel(factory);
  return factory;
}

}  // namespace outlookmodel
