// Which local store a sync run gets.
#pragma once

#include <memory>

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
