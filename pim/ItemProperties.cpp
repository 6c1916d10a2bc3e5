// Item properties: the name pool, the expanded map and the packed block.
#include "pim/ItemProperties.h"

#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <unordered_map>

namespace {

using Name = const PooledPropertyName*;

struct NamePool {
  std::mutex lock;
  // By number; a deque keeps every name where it is while the pool grows, so the views below and
  // the records' pointers stay valid.
  std::deque<PooledPropertyName> names;
  std::unordered_map<std::string_view, Name> byText;
};

NamePool& Pool() {
  static NamePool pool;
  return pool;
}

const PooledPropertyName& Interned(std::string_view name) {
  NamePool& pool = Pool();
  const std::lock_guard<std::mutex> guard(pool.lock);
  if (const auto hit = pool.byText.find(name); hit != pool.byText.end()) return *hit->second;
  PooledPropertyName& added =
      pool.names.emplace_back(PooledPropertyName{std::string(name), static_cast<std::uint32_t>(pool.names.size())});
  pool.byText.emplace(added.text, &added);
  return added;
}

// Null when no record ever held `name`: then none holds it now.
Name FindInterned(std::string_view name) {
  NamePool& pool = Pool();
  const std::lock_guard<std::mutex> guard(pool.lock);
  const auto hit = pool.byText.find(name);
  return hit == pool.byText.end() ? nullptr : hit->second;
}

Name InternedById(std::uint32_t id) {
  NamePool& pool = Pool();
  const std::lock_guard<std::mutex> guard(pool.lock);
  return &pool.names[id];
}

std::size_t VarintBytes(std::uint32_t value) {
  std::size_t bytes = 1;
  for (; value >= 0x80; value >>= 7) ++bytes;
  return bytes;
}

void PutVarint(char*& at, std::uint32_t value) {
  for (; value >= 0x80; value >>= 7) *at++ = static_cast<char>((value & 0x7F) | 0x80);
  *at++ = static_cast<char>(value);
}

std::uint32_t GetVarint(const char*& at) {
  std::uint32_t value = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = static_cast<std::uint8_t>(*at++);
    value |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) return value;
  }
}

void PutCount(char*& at, std::uint32_t count) {
  std::memcpy(at, &count, sizeof count);
  at += sizeof count;
}

std::uint32_t GetCount(const char*& at) {
  std::uint32_t count = 0;
  std::memcpy(&count, at, sizeof count);
  at += sizeof count;
  return count;
}

}  // namespace

const std::string& InternPropertyName(std::string_view name) { return Interned(name).text; }

ItemProperties::PackedReader::PackedReader(const char* block) : at(block), remaining(GetCount(at)) {}

bool ItemProperties::PackedReader::Next(std::uint32_t& nameId, std::string_view& value) {
  if (remaining == 0) return false;
  --remaining;
  nameId = GetVarint(at);
  const std::uint32_t length = GetVarint(at);
  value = std::string_view(at, length);
  at += length;
  return true;
}

bool ItemProperties::PackedReader::Next(Name& name, std::string_view& value) {
  std::uint32_t nameId = 0;
  if (!Next(nameId, value)) return false;
  name = InternedById(nameId);
  return true;
}

ItemProperties::ItemProperties(std::initializer_list<value_type> properties) {
  for (const auto& [name, value] : properties) insert_or_assign(name, value);
}

ItemProperties::ItemProperties(const std::map<std::string, std::string>& properties) {
  for (const auto& [name, value] : properties) mMap.emplace_hint(mMap.end(), &Interned(name), value);
}

ItemProperties::ItemProperties(const ItemProperties& other) : mMap(other.mMap) {
  if (!other.mPacked) return;
  const std::size_t bytes = other.PackedBytes();
  mPacked = std::make_unique<char[]>(bytes);
  std::memcpy(mPacked.get(), other.mPacked.get(), bytes);
}

std::size_t ItemProperties::PackedBytes() const {
  PackedReader reader(mPacked.get());
  std::uint32_t name = 0;
  std::string_view value;
  while (reader.Next(name, value)) {
  }
  return static_cast<std::size_t>(reader.at - mPacked.get());
}

ItemProperties::ItemProperties(ItemProperties&& other) noexcept
    : mMap(std::move(other.mMap)), mPacked(std::move(other.mPacked)) {}

ItemProperties& ItemProperties::operator=(const ItemProperties& other) {
  if (this != &other) *this = ItemProperties(other);
  return *this;
}

ItemProperties& ItemProperties::operator=(ItemProperties&& other) noexcept {
  mMap = std::move(other.mMap);
  mPacked = std::move(other.mPacked);
  other.mMap.clear();
  return *this;
}

ItemProperties::~ItemProperties() = default;

ItemProperties::Map& ItemProperties::Expanded() const {
  if (mPacked) {
    PackedReader reader(mPacked.get());
    Name name = nullptr;
    std::string_view value;
    while (reader.Next(name, value)) mMap.emplace_hint(mMap.end(), name, std::string(value));
    mPacked.reset();
  }
  return mMap;
}

std::string& ItemProperties::operator[](std::string_view name) {
  Map& map = Expanded();
  const auto hit = map.find(name);
  if (hit != map.end()) return hit->second;
  return map.emplace_hint(hit, &Interned(name), std::string())->second;
}

ItemProperties::iterator ItemProperties::find(std::string_view name) { return iterator(Expanded().find(name)); }

ItemProperties::const_iterator ItemProperties::find(std::string_view name) const {
  const Map& map = Expanded();
  return const_iterator(map.find(name));
}

std::pair<ItemProperties::iterator, bool> ItemProperties::insert_or_assign(std::string_view name, std::string value) {
  Map& map = Expanded();
  const auto hit = map.find(name);
  if (hit != map.end()) {
    hit->second = std::move(value);
    return {iterator(hit), false};
  }
  return {iterator(map.emplace_hint(hit, &Interned(name), std::move(value))), true};
}

std::pair<ItemProperties::iterator, bool> ItemProperties::emplace(std::string_view name, std::string value) {
  Map& map = Expanded();
  const auto hit = map.find(name);
  if (hit != map.end()) return {iterator(hit), false};
  return {iterator(map.emplace_hint(hit, &Interned(name), std::move(value))), true};
}

ItemProperties::size_type ItemProperties::erase(std::string_view name) {
  Map& map = Expanded();
  const auto hit = map.find(name);
  if (hit == map.end()) return 0;
  map.erase(hit);
  return 1;
}

ItemProperties::iterator ItemProperties::erase(const_iterator position) { return iterator(mMap.erase(position.mBase)); }

void ItemProperties::clear() {
  mMap.clear();
  mPacked.reset();
}

ItemProperties::size_type ItemProperties::size() const {
  if (mPacked) return PackedReader(mPacked.get()).remaining;
  return mMap.size();
}

ItemProperties::iterator ItemProperties::begin() { return iterator(Expanded().begin()); }
ItemProperties::iterator ItemProperties::end() { return iterator(Expanded().end()); }
ItemProperties::const_iterator ItemProperties::begin() const { return const_iterator(std::as_const(Expanded()).begin()); }
ItemProperties::const_iterator ItemProperties::end() const { return const_iterator(std::as_const(Expanded()).end()); }

bool ItemProperties::Contains(std::string_view name) const {
  std::string_view value;
  return Lookup(name, value);
}

bool ItemProperties::Lookup(std::string_view name, std::string_view& value) const {
  if (mPacked) {
    const Name wanted = FindInterned(name);
    PackedReader reader(mPacked.get());
    std::uint32_t held = 0;
    while (wanted != nullptr && reader.Next(held, value)) {
      if (held == wanted->id) return true;
    }
    value = {};
    return false;
  }
  const auto hit = mMap.find(name);
  value = hit == mMap.end() ? std::string_view() : std::string_view(hit->second);
  return hit != mMap.end();
}

void ItemProperties::Pack() {
  if (mPacked) return;
  std::size_t bytes = sizeof(std::uint32_t);
  for (const auto& [name, value] : mMap) {
    if (value.size() > std::numeric_limits<std::uint32_t>::max()) return;  // stays expanded
    bytes += VarintBytes(name->id) + VarintBytes(static_cast<std::uint32_t>(value.size())) + value.size();
  }
  auto block = std::make_unique<char[]>(bytes);
  char* at = block.get();
  PutCount(at, static_cast<std::uint32_t>(mMap.size()));
  for (const auto& [name, value] : mMap) {
    PutVarint(at, name->id);
    PutVarint(at, static_cast<std::uint32_t>(value.size()));
    std::memcpy(at, value.data(), value.size());
    at += value.size();
  }
  mMap.clear();
  mPacked = std::move(block);
}

bool ItemProperties::operator==(const ItemProperties& other) const {
  if (size() != other.size()) return false;
  const Map& mine = Expanded();
  const Map& theirs = other.Expanded();
  auto there = theirs.begin();
  for (const auto& [name, value] : mine) {
    if (name != there->first || value != there->second) return false;
    ++there;
  }
  return true;
}

bool ItemProperties::operator==(const std::map<std::string, std::string>& other) const {
  if (size() != other.size()) return false;
  auto there = other.begin();
  bool equal = true;
  ForEach([&](const std::string& name, std::string_view value) {
    equal = equal && name == there->first && value == there->second;
    ++there;
  });
  return equal;
}

void PrintTo(const ItemProperties& properties, std::ostream* out) {
  *out << "{";
  const char* separator = "";
  properties.ForEach([&](const std::string& name, std::string_view value) {
    *out << separator << '"' << name << "\": \"" << value << '"';
    separator = ", ";
  });
  *out << "}";
}
