// The local application of an end-to-end client, driven the way another program would drive it:
// one implementation per store, so that one scenario suite runs over every store.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/SyncDataType.h"

class CConf;
class SyncStoreFactory;

// What a store keeps besides contacts: scenarios that need more run only where it is there.
struct StoreCapabilities {
  bool calendar = false;  // events
  bool tasks = false;
  bool groups = false;    // local contact groups are read as items (and stay local)
  // Addresses without a home or work type are typed by the e-mail management mode when the
  // store reads its contacts (the address-book stores); other stores read the card's own types.
  bool typesEmailAddresses = false;
  // Contact groups the server sends become local groups (lists) of their members.
  bool serverGroups = false;
  // Events and tasks outside the sync period are left out of a run and never deleted by it.
  bool syncPeriod = false;
};

class LocalSide {
 public:
  virtual ~LocalSide() = default;
  virtual const char* Name() const = 0;  // "Folder", "Outlook", "WindowsContacts", "Vdir"
  virtual StoreCapabilities Capabilities() const = 0;
  // Sets the keys that select this store and its book; switches off the data types it lacks.
  virtual void Configure(CConf& conf) = 0;
  // The run's store; it kills its process (SIGKILL) after `killAfterServerWrites` server items
  // written, never when negative. Lives as long as the returned factory.
  virtual std::unique_ptr<SyncStoreFactory> MakeStoreFactory(int killAfterServerWrites) = 0;
  // Changes made by the user in the application; AddContact returns the local identifier.
  virtual std::string AddContact(const std::string& vcard) = 0;
  virtual void ChangeContact(const std::string& id, const std::string& vcard) = 0;
  virtual void DeleteContact(const std::string& id) = 0;
  // Every contact as vCard text, sorted.
  virtual std::vector<std::string> Contacts() const = 0;
  // The identifier of the (first) contact whose display name is `displayName`; "" when none.
  virtual std::string IdOf(const std::string& displayName) const = 0;
  // The display names of the members of the contact group (distribution list) named `name`, in
  // the group's order; empty when there is no such group.
  virtual std::vector<std::string> GroupMembers(const std::string& name) const = 0;
  // Events (DATA_TYPE_EVENTS) and tasks (DATA_TYPE_TASKS) the user makes or changes, as
  // vCalendar texts (an event: a series with its changed occurrences); AddCalendarItem returns
  // the local identifier. Only where Capabilities() says the store holds them: the others throw
  // std::logic_error.
  virtual std::string AddCalendarItem(SyncDataType, const std::string&) { throw std::logic_error(NoCalendar()); }
  virtual void ChangeCalendarItem(SyncDataType, const std::string&, const std::string&) {
    throw std::logic_error(NoCalendar());
  }
  // Every event or task as vCalendar text (a series with its changed occurrences in one), sorted.
  virtual std::vector<std::string> CalendarItems(SyncDataType) const { throw std::logic_error(NoCalendar()); }
  // The local identifiers of the events or tasks.
  virtual std::vector<std::string> CalendarIds(SyncDataType) const { throw std::logic_error(NoCalendar()); }
  // One field of a contact (DATA_TYPE_CONTACTS), event or task changed the way the user changes it
  // in the application; `key` is the record key the shared mappings give the field
  // ("PR_BUSINESS_TELEPHONE_NUMBER", "VC_SUMMARY").
  virtual void ChangeField(SyncDataType type, const std::string& id, const std::string& key, const std::string& value) = 0;
  // A weekly series the user makes in the application at the machine's wall clock: `count` times
  // from `localStart` (an automation date), each `minutes` long. Only where the application has
  // its own way of making one: the others throw std::logic_error.
  virtual void AddWeeklySeries(const std::string& /*summary*/, double /*localStart*/, int /*minutes*/, int /*count*/) {
    throw std::logic_error(NoCalendar());
  }
  // The local start the application shows for the occurrence of the series `summary` on the
  // machine's day `localDay` (an automation date at midnight); nullopt when it shows none that day.
  virtual std::optional<double> OccurrenceShownOn(const std::string& /*summary*/, double /*localDay*/) const {
    throw std::logic_error(NoCalendar());
  }

 private:
  std::string NoCalendar() const { return std::string(Name()) + " store holds no events or tasks"; }
};

enum class StoreKind { Folder, Outlook, WindowsContacts, Vdir };
const char* StoreName(StoreKind kind);

// The local side of `kind` with its data under `folder` (ends in "/").
std::unique_ptr<LocalSide> MakeLocalSide(StoreKind kind, const std::string& folder);
