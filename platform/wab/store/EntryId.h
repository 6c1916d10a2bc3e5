// Binary entry identifiers: which book, what kind of object, which row. The same entry has the
// same identifier in every process, and identifiers of deleted entries are never reused.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "platform/wab/WabApi.h"
#include "platform/wab/store/PropertyValue.h"

// The random identity a book gets when it is created; identifiers of other books are not ours.
using BookUid = std::array<BYTE, 16>;

enum class EntryKind : ULONG {
  Container = MAPI_ABCONT,
  MailUser = MAPI_MAILUSER,
  DistList = MAPI_DISTLIST,
  MailUserTemplate = 0x100 | MAPI_MAILUSER,  // creation template of a container (row = container)
  DistListTemplate = 0x100 | MAPI_DISTLIST,
};

struct EntryIdParts {
  EntryKind kind;
  std::int64_t row;
};

// 32 bytes: four zero flag bytes, the book's identity, the kind (32-bit little-endian) and the
// row (64-bit little-endian).
inline constexpr ULONG kEntryIdSize = 32;

Bytes EncodeEntryId(const BookUid& book, EntryKind kind, std::int64_t row);
// The parts of an identifier of `book`; nullopt for anything else (other book, wrong size, unknown kind).
std::optional<EntryIdParts> DecodeEntryId(const BookUid& book, const void* data, ULONG cb);
