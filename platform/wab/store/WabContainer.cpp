// Container properties (the creation templates among them), contents, creation and deletion.
#include "platform/wab/store/WabContainer.h"

#include "platform/wab/store/PropertyMarshal.h"
#include "platform/wab/store/RefCounted.h"
#include "platform/wab/store/WabEntry.h"
#include "platform/wab/store/WabFailure.h"
#include "platform/wab/store/WabTable.h"

namespace {

class WabContainer final : public RefCounted<IABContainer> {
 public:
  WabContainer(BookContext context, std::int64_t id, std::string name)
      : mContext(std::move(context)), mId(id), mView(MakeView(std::move(name))) {}

  HRESULT GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) override {
    return GuardCall([&] { return AnswerGetProps(mView, tags, flags, mContext.allocator, count, values); });
  }
  // The container's own properties are fixed.
  HRESULT SetProps(ULONG, LPSPropValue, LPSPropProblemArray* problems) override { return Refuse(problems); }
  HRESULT DeleteProps(LPSPropTagArray, LPSPropProblemArray* problems) override { return Refuse(problems); }
  HRESULT SaveChanges(ULONG) override { return MAPI_E_NO_ACCESS; }

  HRESULT GetContentsTable(ULONG flags, LPMAPITABLE* tableOut) override {
    return GuardCall([&] {
      Require(tableOut != nullptr);
      *tableOut = nullptr;
      if (!mContext.database->ContainerName(mId)) return MAPI_E_OBJECT_DELETED;
      std::vector<EntryRef> rows = mContext.database->ListEntries(mId);
      if (rows.empty()) return MAPI_E_NOT_FOUND;  // what callers expect of an empty book
      *tableOut = NewTableObject(mContext, std::move(rows), (flags & MAPI_UNICODE) != 0);
      return S_OK;
    });
  }

  HRESULT CreateEntry(ULONG cb, LPENTRYID templateId, ULONG /*flags*/, LPMAPIPROP* entryOut) override {
    return GuardCall([&] {
      Require(entryOut != nullptr);
      *entryOut = nullptr;
      const auto parts = DecodeEntryId(mContext.database->Uid(), templateId, cb);
      if (!parts || parts->row != mId) return MAPI_E_UNKNOWN_ENTRYID;
      if (parts->kind == EntryKind::MailUserTemplate) {
        *entryOut = NewEntryObject(mContext, mId, MAPI_MAILUSER);
      } else if (parts->kind == EntryKind::DistListTemplate) {
        *entryOut = NewEntryObject(mContext, mId, MAPI_DISTLIST);
      } else {
        return MAPI_E_UNKNOWN_ENTRYID;
      }
      return S_OK;
    });
  }

  HRESULT DeleteEntries(ENTRYLIST* entries, ULONG /*flags*/) override {
    return GuardCall([&] {
      Require(entries != nullptr && (entries->cValues == 0 || entries->lpbin != nullptr));
      if (entries->cValues > WabDatabase::kMaxEntries) throw WabFailure(MAPI_E_TOO_BIG);
      std::vector<EntryRef> doomed;
      for (ULONG i = 0; i < entries->cValues; ++i) {
        const SBinary& id = entries->lpbin[i];
        const auto parts = DecodeEntryId(mContext.database->Uid(), id.lpb, id.cb);
        if (parts && (parts->kind == EntryKind::MailUser || parts->kind == EntryKind::DistList)) {
          doomed.push_back({parts->row, static_cast<ULONG>(parts->kind)});
        }
      }
      const std::size_t deleted = mContext.database->DeleteEntries(mId, doomed);
      return deleted == entries->cValues ? S_OK : MAPI_W_PARTIAL_COMPLETION;
    });
  }

 private:
  PropertyMap MakeView(std::string name) const {
    const BookUid& book = mContext.database->Uid();
    PropertyMap view;
    view[PROP_ID(PR_ENTRYID)].data = EncodeEntryId(book, EntryKind::Container, mId);
    view[PROP_ID(PR_OBJECT_TYPE)].data = static_cast<LONG>(MAPI_ABCONT);
    view[PROP_ID(PR_DISPLAY_NAME)].data = std::move(name);
    view[PROP_ID(PR_DEF_CREATE_MAILUSER)].data = EncodeEntryId(book, EntryKind::MailUserTemplate, mId);
    view[PROP_ID(PR_DEF_CREATE_DL)].data = EncodeEntryId(book, EntryKind::DistListTemplate, mId);
    return view;
  }

  static HRESULT Refuse(LPSPropProblemArray* problems) {
    if (problems != nullptr) *problems = nullptr;
    return MAPI_E_NO_ACCESS;
  }

  BookContext mContext;
  std::int64_t mId;
  PropertyMap mView;
};

}  // namespace

IABContainer* NewContainerObject(const BookContext& context, std::int64_t id, std::string name) {
  return NewObject<WabContainer>(context, id, std::move(name));
}
