// The local side of a SyncML session: where the server's items go, and the stored items the
// session sends back.
#pragma once

#include <string>

#include "pim/CDataItem.h"

class PVCard;

// What writing a server contact did.
enum class ContactWrite {
  Failed,         // nothing was written
  Written,        // written as sent
  NameCompleted,  // written, and the store completed the display name itself: the server gets
                  // the item back as stored
};

// What deleting a local item for the server did.
enum class ItemRemoval {
  Removed,  // the item was deleted (or kept by the store's own rule, such as the sync period)
  NotHeld,  // the store holds no such item: it is gone already
  Failed,   // the store could not delete it
};

// Implemented over the run's local store by the sync driver; called by the reply handlers on the
// session's thread, one call at a time. A call may throw CAutomationException when the local
// application refuses it: the handler logs the description and answers no further item of that
// server command. The sink is not owned by the session and must outlive it.
class ItemSink {
 public:
  virtual ~ItemSink() = default;

  // Creates the server's contact (a contact group when `contentType` is the group type) and gives
  // its local identifier; false when the store could not create it. `card` may be changed.
  virtual bool AddContact(PVCard& card, const std::string& serverId, const std::string& contentType,
                          std::string& localId) = 0;
  // Writes the server's contact over the local item `localId`; an item that no longer exists is
  // created anew and `localId` receives its new identifier.
  virtual ContactWrite ReplaceContact(PVCard& card, const std::string& contentType, std::string& localId) = 0;
  // Creates the server's event or task (one VEVENT or VTODO) and gives its local identifier.
  virtual bool AddCalendarItem(const std::string& vcalendarText, const std::string& serverId, std::string& localId) = 0;
  // Writes the server's event or task over the local item `localId`, or creates it when that
  // names no item (then `localId` receives the new identifier); false when nothing was written.
  virtual bool ReplaceCalendarItem(const std::string& vcalendarText, std::string& localId) = 0;
  // Deletes the local item.
  virtual ItemRemoval RemoveItem(const std::string& localId) = 0;
  // The record of a local item as stored now, for sending it to the server again; null when the
  // store holds no such item.
  virtual CDataItem::Ptr StoredItem(const std::string& localId) = 0;
  // The text a stored item goes back to the server as (what the local application cannot hold
  // comes from the last text exchanged for it), kept as the last text exchanged.
  virtual std::string ItemText(const CDataItem& record, const ItemTextOptions& options) = 0;
  // After the server's item `text` was written as the local item `localId`: the last text
  // exchanged for it.
  virtual void KeepServerText(const std::string& localId, const std::string& text) = 0;
  // Creates a new local item holding what `record` (a local item's record) holds, so that a
  // conflict keeps both versions, and gives its identifier; false when nothing was created.
  virtual bool AddLocalCopy(const CDataItem& record, std::string& localId) = 0;
};
