// GetPAB and OpenEntry over the book's identifiers.
#include "platform/wab/store/WabAddrBook.h"

#include "platform/wab/store/RefCounted.h"
#include "platform/wab/store/WabContainer.h"
#include "platform/wab/store/WabEntry.h"
#include "platform/wab/store/WabFailure.h"

namespace {

class WabAddrBook final : public RefCounted<IAddrBook> {
 public:
  explicit WabAddrBook(BookContext context) : mContext(std::move(context)) {}

  HRESULT GetPAB(ULONG* cb, LPENTRYID* id) override {
    return GuardCall([&] {
      Require(cb != nullptr && id != nullptr);
      *cb = 0;
      *id = nullptr;
      const auto pab = mContext.database->PersonalContainer();
      if (!pab) return MAPI_E_NOT_FOUND;
      ReturnEntryId(mContext, EntryKind::Container, *pab, cb, id);
      return S_OK;
    });
  }

  HRESULT OpenEntry(ULONG cb, LPENTRYID id, const void* /*interface*/, ULONG /*flags*/, ULONG* objectType,
                    LPUNKNOWN* objectOut) override {
    return GuardCall([&] {
      Require(objectType != nullptr && objectOut != nullptr);
      *objectType = 0;
      *objectOut = nullptr;
      std::optional<EntryIdParts> parts;
      if (cb == 0 || id == nullptr) {
        const auto pab = mContext.database->PersonalContainer();
        if (!pab) return MAPI_E_NOT_FOUND;
        parts = EntryIdParts{EntryKind::Container, *pab};
      } else {
        parts = DecodeEntryId(mContext.database->Uid(), id, cb);
        if (!parts) return MAPI_E_UNKNOWN_ENTRYID;
      }
      switch (parts->kind) {
        case EntryKind::Container:
          return OpenContainer(parts->row, objectType, objectOut);
        case EntryKind::MailUser:
        case EntryKind::DistList:
          return OpenStoredEntry(*parts, objectType, objectOut);
        case EntryKind::MailUserTemplate:
        case EntryKind::DistListTemplate:
          return MAPI_E_NO_SUPPORT;  // templates serve CreateEntry only
      }
      return MAPI_E_UNKNOWN_ENTRYID;
    });
  }

 private:
  HRESULT OpenContainer(std::int64_t row, ULONG* objectType, LPUNKNOWN* objectOut) {
    auto name = mContext.database->ContainerName(row);
    if (!name) return MAPI_E_NOT_FOUND;
    IABContainer* container = NewContainerObject(mContext, row, std::move(*name));
    *objectType = MAPI_ABCONT;
    *objectOut = container;
    return S_OK;
  }

  HRESULT OpenStoredEntry(const EntryIdParts& parts, ULONG* objectType, LPUNKNOWN* objectOut) {
    auto entry = mContext.database->LoadEntry(parts.row);
    if (!entry) return MAPI_E_NOT_FOUND;
    if (entry->objectType != static_cast<ULONG>(parts.kind)) return MAPI_E_UNKNOWN_ENTRYID;
    const ULONG type = entry->objectType;
    IMAPIProp* object = OpenEntryObject(mContext, std::move(*entry));
    *objectType = type;
    *objectOut = object;
    return S_OK;
  }

  BookContext mContext;
};

}  // namespace

IAddrBook* NewAddrBookObject(const BookContext& context) {
  return NewObject<WabAddrBook>(context);
}
