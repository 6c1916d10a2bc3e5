// Encoding and decoding of binary entry identifiers.
#include "platform/wab/store/EntryId.h"

#include <algorithm>

namespace {

constexpr std::size_t kUidOffset = 4;
constexpr std::size_t kKindOffset = kUidOffset + 16;
constexpr std::size_t kRowOffset = kKindOffset + 4;

std::uint64_t ReadLittleEndian(const BYTE* bytes, int count) {
  std::uint64_t value = 0;
  for (int k = 0; k < count; ++k) value |= std::uint64_t(bytes[k]) << (8 * k);
  return value;
}

bool IsKnownKind(std::uint64_t kind) {
  switch (static_cast<EntryKind>(kind)) {
    case EntryKind::Container:
    case EntryKind::MailUser:
    case EntryKind::DistList:
    case EntryKind::MailUserTemplate:
    case EntryKind::DistListTemplate:
      return true;
  }
  return false;
}

}  // namespace

Bytes EncodeEntryId(const BookUid& book, EntryKind kind, std::int64_t row) {
  Bytes id(kEntryIdSize, 0);
  std::copy(book.begin(), book.end(), id.begin() + kUidOffset);
  const auto kindValue = static_cast<std::uint32_t>(kind);
  for (int k = 0; k < 4; ++k) id[kKindOffset + k] = static_cast<BYTE>(kindValue >> (8 * k));
  const auto rowValue = static_cast<std::uint64_t>(row);
  for (int k = 0; k < 8; ++k) id[kRowOffset + k] = static_cast<BYTE>(rowValue >> (8 * k));
  return id;
}

std::optional<EntryIdParts> DecodeEntryId(const BookUid& book, const void* data, ULONG cb) {
  if (data == nullptr || cb != kEntryIdSize) return std::nullopt;
  const auto* bytes = static_cast<const BYTE*>(data);
  if (bytes[0] != 0 || bytes[1] != 0 || bytes[2] != 0 || bytes[3] != 0) return std::nullopt;
  if (!std::equal(book.begin(), book.end(), bytes + kUidOffset)) return std::nullopt;
  const std::uint64_t kind = ReadLittleEndian(bytes + kKindOffset, 4);
  const auto row = static_cast<std::int64_t>(ReadLittleEndian(bytes + kRowOffset, 8));
  if (!IsKnownKind(kind) || row <= 0) return std::nullopt;
  return EntryIdParts{static_cast<EntryKind>(kind), row};
}
