// Column selection, cursor moves and row sets allocated the way callers free them.
#include "platform/wab/store/WabTable.h"

#include <algorithm>

#include "platform/wab/store/PropertyMarshal.h"
#include "platform/wab/store/RefCounted.h"
#include "platform/wab/store/WabFailure.h"

namespace {

class WabTable final : public RefCounted<IMAPITable> {
 public:
  WabTable(BookContext context, std::vector<EntryRef> rows, bool unicode)
      : mContext(std::move(context)),
        mRows(std::move(rows)),
        mUnicode(unicode),
        mColumns{PR_ENTRYID, unicode ? PR_DISPLAY_NAME : CHANGE_PROP_TYPE(PR_DISPLAY_NAME, PT_STRING8), PR_OBJECT_TYPE} {}

  HRESULT SetColumns(LPSPropTagArray tags, ULONG /*flags*/) override {
    return GuardCall([&] {
      std::vector<ULONG> columns = ReadTagArray(tags);
      Require(!columns.empty());
      mColumns = std::move(columns);
      return S_OK;
    });
  }

  HRESULT SeekRow(BOOKMARK origin, LONG count, LONG* sought) override {
    long long base = 0;
    switch (origin) {
      case BOOKMARK_BEGINNING:
        base = 0;
        break;
      case BOOKMARK_CURRENT:
        base = static_cast<long long>(mCursor);
        break;
      case BOOKMARK_END:
        base = static_cast<long long>(mRows.size());
        break;
      default:
        return MAPI_E_INVALID_BOOKMARK;
    }
    const long long target = std::clamp(base + count, 0LL, static_cast<long long>(mRows.size()));
    mCursor = static_cast<std::size_t>(target);
    if (sought != nullptr) *sought = static_cast<LONG>(target - base);
    return S_OK;
  }

  HRESULT QueryRows(LONG count, ULONG flags, LPSRowSet* rowsOut) override {
    return GuardCall([&] {
      Require(rowsOut != nullptr);
      *rowsOut = nullptr;
      Require(count > 0);
      std::size_t next = mCursor;
      std::vector<StoredEntry> entries;
      while (entries.size() < static_cast<std::size_t>(count) && next < mRows.size()) {
        // An entry deleted since the snapshot has no row any more.
        if (auto entry = mContext.database->LoadEntry(mRows[next].id)) entries.push_back(std::move(*entry));
        ++next;
      }
      *rowsOut = NewRowSet(entries);
      if ((flags & TBL_NOADVANCE) == 0) mCursor = next;
      return S_OK;
    });
  }

  HRESULT GetRowCount(ULONG /*flags*/, ULONG* countOut) override {
    if (countOut == nullptr) return MAPI_E_INVALID_PARAMETER;
    *countOut = static_cast<ULONG>(mRows.size());
    return S_OK;
  }

 private:
  // The row set and each row's values are root buffers of their own, as callers free them.
  SRowSet* NewRowSet(const std::vector<StoredEntry>& entries) {
    const std::size_t slots = std::max<std::size_t>(entries.size(), 1);
    OwnedBuffer set(mContext.allocator, offsetof(SRowSet, aRow) + sizeof(SRow) * slots);
    std::vector<std::unique_ptr<OwnedBuffer>> rows;
    for (const StoredEntry& entry : entries) {
      auto values = std::make_unique<OwnedBuffer>(mContext.allocator, sizeof(SPropValue) * mColumns.size());
      WriteValues(EntryView(mContext.database->Uid(), entry), mColumns, mUnicode, *values);
      rows.push_back(std::move(values));
    }
    auto* rowSet = set.As<SRowSet>();
    SRow* first = rowSet->aRow;  // the array really holds cRows rows
    rowSet->cRows = static_cast<ULONG>(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      first[i] = SRow{0, static_cast<ULONG>(mColumns.size()), static_cast<SPropValue*>(rows[i]->Release())};
    }
    return static_cast<SRowSet*>(set.Release());
  }

  BookContext mContext;
  std::vector<EntryRef> mRows;
  bool mUnicode;
  std::vector<ULONG> mColumns;
  std::size_t mCursor = 0;
};

}  // namespace

IMAPITable* NewTableObject(const BookContext& context, std::vector<EntryRef> rows, bool unicode) {
  return NewObject<WabTable>(context, std::move(rows), unicode);
}
