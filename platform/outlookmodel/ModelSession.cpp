// Makers of the model's objects.
#include "platform/outlookmodel/ModelSession_p.h"

#include <cmath>

#include "platform/automation/OutlookDispIds.h"
#include "platform/outlookmodel/OutlookAppointment_p.h"
#include "platform/outlookmodel/OutlookApplication_p.h"
#include "platform/outlookmodel/OutlookFolder_p.h"
#include "platform/outlookmodel/OutlookItem_p.h"
#include "platform/outlookmodel/ModelTime_p.h"

namespace outlookmodel {

namespace {

// A new appointment starts at the next half hour and lasts 30 minutes.
double NextHalfHour() {
  const double halfHours = std::ceil(DateNow() * 48.0);
  return halfHours / 48.0;
}

}  // namespace

Dispatch::Ptr ModelSession::MakeApplication() { return std::make_shared<OutlookApplication>(shared_from_this()); }

Dispatch::Ptr ModelSession::MakeNamespace() { return std::make_shared<OutlookNamespace>(shared_from_this()); }

Dispatch::Ptr ModelSession::MakeFolder(const FolderRecord& folder) {
  return std::make_shared<OutlookFolder>(shared_from_this(), folder);
}

Dispatch::Ptr ModelSession::MakeFolder(int64_t id) {
  const std::optional<FolderRecord> folder = mStore.FolderById(id);
  if (!folder) ThrowNotFound();
  return MakeFolder(*folder);
}

Dispatch::Ptr ModelSession::MakeFolders(int64_t parent) { return std::make_shared<OutlookFolders>(shared_from_this(), parent); }

Dispatch::Ptr ModelSession::MakeItems(int64_t folder) { return std::make_shared<OutlookItems>(shared_from_this(), folder); }

Dispatch::Ptr ModelSession::MakeItem(ItemRecord record) {
  ItemKind kind = ItemKind::Mail;
  if (!KindOfMessageClass(record.messageClass, kind)) kind = ItemKind::Mail;
  switch (kind) {
    case ItemKind::Appointment: return std::make_shared<OutlookAppointment>(shared_from_this(), std::move(record));
    case ItemKind::Contact: return std::make_shared<OutlookContact>(shared_from_this(), kind, std::move(record));
    case ItemKind::DistList: return std::make_shared<OutlookDistList>(shared_from_this(), kind, std::move(record));
    case ItemKind::Mail:
    case ItemKind::Task: break;
  }
  return std::make_shared<OutlookItem>(shared_from_this(), kind, std::move(record));
}

Dispatch::Ptr ModelSession::NewItem(ItemKind kind, int64_t folder) {
  ItemRecord record;
  record.folder = folder;
  record.messageClass = MessageClassOf(kind);
  if (kind == ItemKind::Appointment) {
    const double start = UtcDateOfLocal(NextHalfHour());
    record.props["Start"] = Variant::Date(start);
    record.props["End"] = Variant::Date(RoundToMillisecond(start + 30.0 / 1440.0));
    record.instants = {"Start", "End"};
    record.props["Organizer"] = Variant(mStore.CurrentUser().name);
  }
  return MakeItem(std::move(record));
}

int64_t ModelSession::DefaultFolderFor(ItemKind kind) {
  int32_t folderKind = olFolderInbox;
  switch (kind) {
    case ItemKind::Mail: folderKind = olFolderInbox; break;
    case ItemKind::Appointment: folderKind = olFolderCalendar; break;
    case ItemKind::Contact:
    case ItemKind::DistList: folderKind = olFolderContacts; break;
    case ItemKind::Task: folderKind = olFolderTasks; break;
  }
  const std::optional<FolderRecord> folder = mStore.DefaultFolder(folderKind);
  if (!folder) ThrowNotFound();
  return folder->id;
}

const SystemTimeZone& ModelSession::Zone(const std::string& id) {
  auto found = mZones.find(id);
  if (found == mZones.end()) {
    std::optional<SystemTimeZone> zone = SystemTimeZone::Named(id);
    if (!zone) zone = SystemTimeZone::FromPosix("UTC0");
    found = mZones.emplace(id, std::move(*zone)).first;
  }
  return found->second;
}

}  // namespace outlookmodel
