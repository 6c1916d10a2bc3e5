// Internal: MAPIFolder, the Folders collection and the Items collection.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "platform/outlookmodel/ModelSession_p.h"

namespace outlookmodel {

class OutlookFolder : public Dispatch {
 public:
  OutlookFolder(std::shared_ptr<ModelSession> session, FolderRecord folder)
      : mSession(std::move(session)), mFolder(std::move(folder)) {}
  Variant Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) override;

 private:
  Dispatch::Ptr Parent();

  std::shared_ptr<ModelSession> mSession;
  FolderRecord mFolder;
};

// The sub-folders of one folder, or (parent 0) the top folders of all stores. Reads the current
// folder list at each call.
class OutlookFolders : public Dispatch {
 public:
  OutlookFolders(std::shared_ptr<ModelSession> session, int64_t parent) : mSession(std::move(session)), mParent(parent) {}
  Variant Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) override;

 private:
  Variant Item(const Variant& index);
  Variant Add(const std::vector<Variant>& args);

  std::shared_ptr<ModelSession> mSession;
  int64_t mParent;
};

// The saved items of one folder, one-based. The list of items is read again whenever this or
// another connection has committed a change since it was last read.
class OutlookItems : public Dispatch {
 public:
  OutlookItems(std::shared_ptr<ModelSession> session, int64_t folder) : mSession(std::move(session)), mFolder(folder) {}
  Variant Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) override;

 private:
  const std::vector<int64_t>& Ids();
  Variant Add(const std::vector<Variant>& args);

  std::shared_ptr<ModelSession> mSession;
  int64_t mFolder;
  std::vector<int64_t> mIds;
  std::pair<int64_t, int64_t> mIdsStamp{-1, -1};
};

}  // namespace outlookmodel
