// Internal: the Application and NameSpace objects.
#pragma once

#include <memory>

#include "platform/outlookmodel/ModelSession_p.h"

namespace outlookmodel {

// Application: GetNamespace("MAPI"), CreateItem.
class OutlookApplication : public Dispatch {
 public:
  explicit OutlookApplication(std::shared_ptr<ModelSession> session) : mSession(std::move(session)) {}
  Variant Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) override;

 private:
  std::shared_ptr<ModelSession> mSession;
};

// NameSpace "MAPI": Logon/Logoff, the stores' top folders, look-up by entry identifier, default
// folders, the current user.
class OutlookNamespace : public Dispatch {
 public:
  explicit OutlookNamespace(std::shared_ptr<ModelSession> session) : mSession(std::move(session)) {}
  Variant Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) override;

 private:
  Variant GetFolderFromId(const std::vector<Variant>& args);
  Variant GetItemFromId(const std::vector<Variant>& args);
  Variant GetDefaultFolder(const std::vector<Variant>& args);
  Variant AddStore(const std::vector<Variant>& args);

  std::shared_ptr<ModelSession> mSession;
  bool mLoggedOn = false;
};

}  // namespace outlookmodel
