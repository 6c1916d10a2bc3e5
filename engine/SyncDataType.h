// The data type of a sync link and of the local folder it selects: contacts, events or tasks.
#pragma once

// Values of CSyncLink::mDataType, of the store's folder selection and of the configuration's
// switches (`sync_ab`, `sync_cal`, `sync_tasks`). A settings file may hold any number; only
// these three name a data type.
enum SyncDataType : int {
  DATA_TYPE_CONTACTS = 0,
  DATA_TYPE_EVENTS = 1,
  DATA_TYPE_TASKS = 2,
};
