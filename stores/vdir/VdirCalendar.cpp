// Calendar texts as component trees: reading (with the conversion from vCalendar 1.0), the
// items of one file, and the text of some of them.
#include "stores/vdir/VdirCalendar.h"

#include <algorithm>
#include <map>
#include <set>

#include "pim/CDataItem.h"
#include "platform/zoneinfo/SystemTimeZone.h"
#include "stores/vdir/ItemValues.h"
#include "stores/vdir/VdirCalendar_p.h"

namespace {

bool IsItemName(std::string_view name) { return name == "VEVENT" || name == "VTODO"; }

// Builds the component tree of `lines` from `position` on, up to the END of `component`.
void ReadChildren(const std::vector<ItemLine>& lines, std::size_t& position, CalendarComponent& component) {
  while (position < lines.size()) {
    const ItemLine& line = lines[position++];
    if (line.name == "BEGIN") {
      CalendarComponent child;
      child.name = UpperAscii(line.value);
      ReadChildren(lines, position, child);
      component.children.push_back(std::move(child));
    } else if (line.name == "END") {
      return;
    } else {
      component.lines.push_back(line);
    }
  }
}

// The TZIDs the lines of `component` and its sub-components name.
void CollectZoneIds(const CalendarComponent& component, std::set<std::string>& ids) {
  for (const ItemLine& line : component.lines) {
    if (const ItemParam* tzid = line.Param("TZID"); tzid != nullptr && !tzid->values.empty()) ids.insert(tzid->values.front());
  }
  for (const CalendarComponent& child : component.children) CollectZoneIds(child, ids);
}

std::string ZoneId(const CalendarComponent& zone) {
  const ItemLine* tzid = zone.Find("TZID");
  return tzid == nullptr ? std::string() : tzid->value;
}

// Whether a VTIMEZONE gives an offset at all: one without (a server writes them so) describes no
// zone, and its TZID means the zone database's zone of that name.
bool GivesOffsets(const CalendarComponent& zone) {
  return std::any_of(zone.children.begin(), zone.children.end(),
                     [](const CalendarComponent& part) { return part.Find("TZOFFSETTO") != nullptr; });
}

void RenameZoneIds(CalendarComponent& component, const std::map<std::string, std::string>& names) {
  for (ItemLine& line : component.lines) {
    const ItemParam* tzid = line.Param("TZID");
    if (tzid == nullptr || tzid->values.empty()) continue;
    if (const auto name = names.find(tzid->values.front()); name != names.end()) line.SetParam("TZID", {name->second});
  }
  for (CalendarComponent& child : component.children) RenameZoneIds(child, names);
}

// Gives each TZID the spelling of the zone it means, as the client's own calendar reader takes
// it: a VTIMEZONE of another letter case, else the zone database's name ("ASIA/KOLKATA" is
// "Asia/Kolkata"); a VTIMEZONE without offsets is dropped for the database zone it names. A server
// reads such a TZID as a zone of its own with no offset, and moves the item's times by hours.
void ResolveZoneIds(CalendarComponent& root) {
  std::map<std::string, std::string> zones;  // upper-case TZID -> the VTIMEZONE's spelling
  std::erase_if(root.children, [](const CalendarComponent& child) {
    return child.name == "VTIMEZONE" && !GivesOffsets(child) && !SystemTimeZone::DatabaseName(ZoneId(child)).empty();
  });
  for (const CalendarComponent& child : root.children) {
    if (child.name == "VTIMEZONE") zones.emplace(UpperAscii(ZoneId(child)), ZoneId(child));
  }
  std::set<std::string> ids;
  CollectZoneIds(root, ids);
  std::map<std::string, std::string> names;
  for (const std::string& id : ids) {
    const auto zone = zones.find(UpperAscii(id));
    const std::string name = zone != zones.end() ? zone->second : SystemTimeZone::DatabaseName(id);
    if (!name.empty() && name != id) names.emplace(id, name);
  }
  if (!names.empty()) RenameZoneIds(root, names);
}

}  // namespace

const ItemLine* CalendarComponent::Find(std::string_view lineName) const {
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    if (it->name == lineName) return &*it;
  }
  return nullptr;
}

ItemLine* CalendarComponent::Find(std::string_view lineName) {
  return const_cast<ItemLine*>(static_cast<const CalendarComponent&>(*this).Find(lineName));
}

std::string CalendarComponent::Text() const {
  std::string text = WriteItemLine(ItemLine{"", "BEGIN", {}, name});
  text += WriteItemLines(lines);
  for (const CalendarComponent& child : children) text += child.Text();
  return text + WriteItemLine(ItemLine{"", "END", {}, name});
}

CalendarComponent ReadComponent(std::string_view text) {
  const std::vector<ItemLine> lines = ReadItemLines(text);
  std::size_t position = 0;
  CalendarComponent top;
  ReadChildren(lines, position, top);
  return top.children.empty() ? CalendarComponent() : std::move(top.children.front());
}

std::optional<VdirCalendar> VdirCalendar::Read(std::string_view text) {
  const std::vector<ItemLine> lines = ReadItemLines(text);
  std::size_t position = 0;
  CalendarComponent top;
  ReadChildren(lines, position, top);
  VdirCalendar calendar;
  const auto root = std::find_if(top.children.begin(), top.children.end(),
                                 [](const CalendarComponent& child) { return child.name == "VCALENDAR"; });
  if (root != top.children.end()) {
    calendar.mRoot = std::move(*root);
  } else {
    calendar.mRoot = std::move(top);
    calendar.mRoot.name = "VCALENDAR";
  }
  if (calendar.ItemPositions().empty()) return std::nullopt;
  const ItemLine* version = calendar.mRoot.Find("VERSION");
  calendar.mSourceVersion = version != nullptr ? version->value : std::string("2.0");
  if (calendar.mSourceVersion == "1.0") {
    ConvertVCalendar10(calendar.mRoot);
  } else {
    DecodeLegacyCalendarLines(calendar.mRoot);
  }
  ResolveZoneIds(calendar.mRoot);
  return calendar;
}

std::vector<std::size_t> VdirCalendar::ItemPositions() const {
  std::vector<std::size_t> positions;
  for (std::size_t i = 0; i < mRoot.children.size(); ++i) {
    if (IsItemName(mRoot.children[i].name)) positions.push_back(i);
  }
  return positions;
}

int VdirCalendar::Kind() const {
  const std::vector<const CalendarComponent*> items = Items();
  return items.empty() ? -1 : items.front()->name == "VTODO" ? ITEM_TASK : ITEM_EVENT;
}

std::vector<const CalendarComponent*> VdirCalendar::Items() const {
  std::vector<const CalendarComponent*> items;
  for (const std::size_t position : ItemPositions()) items.push_back(&mRoot.children[position]);
  return items;
}

std::string VdirCalendar::Uid() const {
  for (const CalendarComponent* item : Items()) {
    if (const ItemLine* uid = item->Find("UID"); uid != nullptr && !uid->value.empty()) return UnescapeText(uid->value);
  }
  return {};
}

void VdirCalendar::SetUid(const std::string& uid) {
  for (const std::size_t position : ItemPositions()) {
    CalendarComponent& item = mRoot.children[position];
    if (ItemLine* line = item.Find("UID")) {
      line->value = EscapeText(uid);
    } else {
      item.lines.insert(item.lines.begin(), ItemLine{"", "UID", {}, EscapeText(uid)});
    }
  }
}

std::string VdirCalendar::Text() const { return mRoot.Text(); }

std::string VdirCalendar::TextOfItems(const std::vector<std::size_t>& indexes) const {
  const std::vector<std::size_t> positions = ItemPositions();
  std::set<std::size_t> kept;
  std::set<std::string> zoneIds;
  for (const std::size_t index : indexes) {
    if (index >= positions.size()) continue;
    kept.insert(positions[index]);
    CollectZoneIds(mRoot.children[positions[index]], zoneIds);
  }
  CalendarComponent slice;
  slice.name = mRoot.name;
  slice.lines = mRoot.lines;
  for (std::size_t i = 0; i < mRoot.children.size(); ++i) {
    const CalendarComponent& child = mRoot.children[i];
    const bool item = IsItemName(child.name);
    const bool unusedZone = child.name == "VTIMEZONE" && zoneIds.count(ZoneId(child)) == 0;
    if ((item && kept.count(i) == 0) || unusedZone) continue;
    slice.children.push_back(child);
  }
  return slice.Text();
}

void VdirCalendar::RemoveItem(std::size_t index) {
  const std::vector<std::size_t> positions = ItemPositions();
  if (index < positions.size()) mRoot.children.erase(mRoot.children.begin() + static_cast<std::ptrdiff_t>(positions[index]));
}

void VdirCalendar::AddItem(const CalendarComponent& item) {
  const std::vector<std::size_t> positions = ItemPositions();
  const std::size_t after = positions.empty() ? mRoot.children.size() : positions.back() + 1;
  mRoot.children.insert(mRoot.children.begin() + static_cast<std::ptrdiff_t>(after), item);
}

void VdirCalendar::TakeZones(const VdirCalendar& other) {
  for (const CalendarComponent& zone : other.mRoot.children) {
    if (zone.name != "VTIMEZONE") continue;
    const auto same = std::find_if(mRoot.children.begin(), mRoot.children.end(), [&zone](const CalendarComponent& child) {
      return child.name == "VTIMEZONE" && ZoneId(child) == ZoneId(zone);
    });
    if (same != mRoot.children.end()) {
      *same = zone;
    } else {
      // Zones go before the items, as writers put them.
      const std::vector<std::size_t> positions = ItemPositions();
      const std::size_t before = positions.empty() ? mRoot.children.size() : positions.front();
      mRoot.children.insert(mRoot.children.begin() + static_cast<std::ptrdiff_t>(before), zone);
    }
  }
}
