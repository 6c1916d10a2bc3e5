// Which local store a sync run gets.
#pragma once

#include <memory>
#include <string>

class CConf;
class CDatabaseObject;
class Prompt;

// Makes the local store of a run, on the worker thread, once per run.
class SyncStoreFactory {
 public:
  virtual ~SyncStoreFactory() = default;
  // The run's store. The run owns it and destroys it on the worker before the run ends; `conf`
  // and `prompt` (the store's questions, e-mail types) outlive it. Throws a CXException with a
  // message for the user when that store cannot be made: the run then stops before any link.
  virtual std::unique_ptr<CDatabaseObject> CreateStore(CConf& conf, Prompt& prompt) = 0;
};

// The program's stores: the store of the configured local application, the Outlook store for
// `sync_with_outlook` 1 and the Windows Contacts store for any other value; or, when a folder is
// given, the folder store over that folder (an explicit choice of the caller, never a fallback).
class RunStoreFactory final : public SyncStoreFactory {
 public:
  explicit RunStoreFactory(std::string folderStorePath = {});

  std::unique_ptr<CDatabaseObject> CreateStore(CConf& conf, Prompt& prompt) override;

 private:
  std::string mFolderStorePath;
};
