// The property map of an item record: text values by property name, each name held once per
// program, and a packed form that keeps a whole record's values in one block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

// The one copy of `name` that every record shares. The pool only grows (the names are the few
// hundred PR_ and VC_ keys and the "0x%x" names of unknown MAPI tags); safe from any thread.
const std::string& InternPropertyName(std::string_view name);

// A name of the pool with its number there (numbers count up from 0 in the order names came).
struct PooledPropertyName {
  std::string text;
  std::uint32_t id = 0;
};

// Keys are unique and compared case-sensitively; iteration is in name order (byte order), as the
// map it replaces. An element reads as a pair of references: `const auto& [name, value]`.
//
// Two forms. Expanded: a node per property, so a std::string& from operator[] or find() stays
// valid until that property is erased, as with a std::map. Packed (Pack): all values in one block.
// Size, Contains/count, Lookup and ForEach read the packed form as it is; every other access
// expands it first (also from const members), which ends the validity of views Lookup gave.
// Not thread-safe, like the record that holds it.
class ItemProperties {
  using Name = const PooledPropertyName*;
  struct NameLess {
    using is_transparent = void;
    bool operator()(Name a, Name b) const { return a->text < b->text; }
    bool operator()(Name a, std::string_view b) const { return std::string_view(a->text) < b; }
    bool operator()(std::string_view a, Name b) const { return a < std::string_view(b->text); }
  };
  using Map = std::map<Name, std::string, NameLess>;

 public:
  template <bool kConst>
  class Iterator {
    using Base = std::conditional_t<kConst, Map::const_iterator, Map::iterator>;
    using Value = std::conditional_t<kConst, const std::string, std::string>;

   public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = std::pair<const std::string, std::string>;
    using difference_type = std::ptrdiff_t;
    using reference = std::pair<const std::string&, Value&>;
    struct pointer {
      reference element;
      const reference* operator->() const { return &element; }
    };

    Iterator() = default;
    explicit Iterator(Base base) : mBase(base) {}
    // An iterator converts to a const_iterator.
    template <bool kOther, typename = std::enable_if_t<kConst && !kOther>>
    Iterator(const Iterator<kOther>& other) : mBase(other.mBase) {}

    reference operator*() const { return {mBase->first->text, mBase->second}; }
    pointer operator->() const { return {**this}; }
    Iterator& operator++() {
      ++mBase;
      return *this;
    }
    Iterator operator++(int) { return Iterator(mBase++); }
    Iterator& operator--() {
      --mBase;
      return *this;
    }
    Iterator operator--(int) { return Iterator(mBase--); }
    friend bool operator==(const Iterator& a, const Iterator& b) { return a.mBase == b.mBase; }

   private:
    template <bool>
    friend class Iterator;
    friend class ItemProperties;
    Base mBase{};
  };
  using iterator = Iterator<false>;
  using const_iterator = Iterator<true>;
  using key_type = std::string;
  using mapped_type = std::string;
  using value_type = std::pair<const std::string, std::string>;
  using size_type = std::size_t;

  ItemProperties() = default;
  ItemProperties(std::initializer_list<value_type> properties);
  ItemProperties(const std::map<std::string, std::string>& properties);
  ItemProperties(const ItemProperties& other);
  ItemProperties(ItemProperties&& other) noexcept;
  ItemProperties& operator=(const ItemProperties& other);
  ItemProperties& operator=(ItemProperties&& other) noexcept;
  ~ItemProperties();

  std::string& operator[](std::string_view name);
  std::string& operator[](const std::string& name) { return (*this)[std::string_view(name)]; }
  std::string& operator[](const char* name) { return (*this)[std::string_view(name)]; }

  iterator find(std::string_view name);
  const_iterator find(std::string_view name) const;
  size_type count(std::string_view name) const { return Contains(name) ? 1 : 0; }
  bool contains(std::string_view name) const { return Contains(name); }
  // Sets `name` to `value`; true when the name was new.
  std::pair<iterator, bool> insert_or_assign(std::string_view name, std::string value);
  // Adds `name` with `value` unless the name is present; true when it was added.
  std::pair<iterator, bool> emplace(std::string_view name, std::string value);
  size_type erase(std::string_view name);
  iterator erase(const_iterator position);
  void clear();

  size_type size() const;
  bool empty() const { return size() == 0; }

  iterator begin();
  iterator end();
  const_iterator begin() const;
  const_iterator end() const;
  const_iterator cbegin() const { return begin(); }
  const_iterator cend() const { return end(); }

  // Packed-form readers: the value of `name` as a view (valid until the map is expanded or
  // changed), and every property in name order.
  bool Contains(std::string_view name) const;
  bool Lookup(std::string_view name, std::string_view& value) const;
  template <typename Visit>  // Visit(const std::string& name, std::string_view value)
  void ForEach(Visit&& visit) const;

  // Moves every value into one block; a no-op when already packed. Invalidates references and
  // iterators into the map.
  void Pack();
  bool IsPacked() const { return mPacked != nullptr; }
  // Back to one node per property.
  void Expand() { Expanded(); }

  bool operator==(const ItemProperties& other) const;
  bool operator==(const std::map<std::string, std::string>& other) const;

 private:
  // Packed block: a 32-bit count (unaligned; read with memcpy), then per property in name order
  // the name's pool number and the value's length, each as a base-128 varint (one byte for most
  // names and values), and the value's bytes.
  struct PackedReader;
  Map& Expanded() const;
  std::size_t PackedBytes() const;

  mutable Map mMap;
  mutable std::unique_ptr<char[]> mPacked;
};

// Expanded and packed readers walk a packed block through this cursor.
struct ItemProperties::PackedReader {
  const char* at;
  std::uint32_t remaining;
  explicit PackedReader(const char* block);
  // The next property's pool number and value; false past the last one.
  bool Next(std::uint32_t& nameId, std::string_view& value);
  // The same with the name itself (a look-up in the pool).
  bool Next(Name& name, std::string_view& value);
};

template <typename Visit>
void ItemProperties::ForEach(Visit&& visit) const {
  if (mPacked) {
    PackedReader reader(mPacked.get());
    Name name = nullptr;
    std::string_view value;
    while (reader.Next(name, value)) visit(name->text, value);
    return;
  }
  for (const auto& [name, value] : mMap) visit(name->text, std::string_view(value));
}

// For test failure messages.
void PrintTo(const ItemProperties& properties, std::ostream* out);
