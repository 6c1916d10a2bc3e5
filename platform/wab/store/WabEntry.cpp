// The properties of one entry: read, changed in memory, written in one transaction.
#include "platform/wab/store/WabEntry.h"

#include "platform/wab/store/PropertyMarshal.h"
#include "platform/wab/store/RefCounted.h"
#include "platform/wab/store/WabFailure.h"

namespace {

// The state and behaviour shared by mail users and distribution lists.
class EntryState {
 public:
  EntryState(BookContext context, StoredEntry entry) : mContext(std::move(context)), mEntry(std::move(entry)) {}

  HRESULT GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) {
    return GuardCall([&] {
      return AnswerGetProps(EntryView(mContext.database->Uid(), mEntry), tags, flags, mContext.allocator, count, values);
    });
  }

  HRESULT SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problemsOut) {
    return GuardCall([&] {
      ClearProblems(problemsOut);
      Require(values != nullptr || count == 0);
      if (count > kMaxProperties) throw WabFailure(MAPI_E_TOO_BIG);
      PropertyMap changed = mEntry.properties;
      std::vector<SPropProblem> problems;
      for (ULONG i = 0; i < count; ++i) {
        const ULONG tag = values[i].ulPropTag;
        if (IsComputedProperty(PROP_ID(tag))) {
          problems.push_back({i, tag, MAPI_E_COMPUTED});
          continue;
        }
        changed[PROP_ID(tag)] = ReadCallerValue(values[i]);  // a bad value fails the whole call
      }
      if (changed.size() > kMaxProperties) throw WabFailure(MAPI_E_TOO_BIG);
      Commit(std::move(changed), problems, problemsOut);
      return S_OK;
    });
  }

  HRESULT DeleteProps(LPSPropTagArray tags, LPSPropProblemArray* problemsOut) {
    return GuardCall([&] {
      ClearProblems(problemsOut);
      const std::vector<ULONG> doomed = ReadTagArray(tags);
      PropertyMap changed = mEntry.properties;
      std::vector<SPropProblem> problems;
      for (ULONG i = 0; i < doomed.size(); ++i) {
        if (IsComputedProperty(PROP_ID(doomed[i]))) {
          problems.push_back({i, doomed[i], MAPI_E_COMPUTED});
        } else {
          changed.erase(PROP_ID(doomed[i]));
        }
      }
      Commit(std::move(changed), problems, problemsOut);
      return S_OK;
    });
  }

  HRESULT SaveChanges(ULONG /*flags: the object stays usable whatever they say*/) {
    return GuardCall([&] {
      if (mEntry.id == 0) {
        const StoredEntry saved = mContext.database->InsertEntry(mEntry.container, mEntry.objectType, mEntry.properties);
        mEntry.id = saved.id;
        mEntry.created = saved.created;
        mEntry.modified = saved.modified;
        return S_OK;
      }
      const auto modified = mContext.database->UpdateEntry(mEntry.id, mEntry.properties);
      if (!modified) return MAPI_E_OBJECT_DELETED;
      mEntry.modified = *modified;
      return S_OK;
    });
  }

 private:
  static void ClearProblems(LPSPropProblemArray* problemsOut) {
    if (problemsOut != nullptr) *problemsOut = nullptr;
  }

  // The problem array is made before the change is kept, so a failed allocation changes nothing.
  void Commit(PropertyMap changed, const std::vector<SPropProblem>& problems, LPSPropProblemArray* problemsOut) {
    SPropProblemArray* array = problemsOut != nullptr ? NewProblemArray(mContext.allocator, problems) : nullptr;
    mEntry.properties = std::move(changed);
    if (problemsOut != nullptr) *problemsOut = array;
  }

  BookContext mContext;
  StoredEntry mEntry;
};

template <class Interface>
class WabEntry final : public RefCounted<Interface> {
 public:
  WabEntry(BookContext context, StoredEntry entry) : mState(std::move(context), std::move(entry)) {}

  HRESULT GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) override {
    return mState.GetProps(tags, flags, count, values);
  }
  HRESULT SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) override {
    return mState.SetProps(count, values, problems);
  }
  HRESULT DeleteProps(LPSPropTagArray tags, LPSPropProblemArray* problems) override {
    return mState.DeleteProps(tags, problems);
  }
  HRESULT SaveChanges(ULONG flags) override { return mState.SaveChanges(flags); }

 private:
  EntryState mState;
};

IMAPIProp* NewObjectFor(BookContext context, StoredEntry entry) {
  if (entry.objectType == MAPI_DISTLIST) return NewObject<WabEntry<IDistList>>(std::move(context), std::move(entry));
  if (entry.objectType == MAPI_MAILUSER) return NewObject<WabEntry<IMailUser>>(std::move(context), std::move(entry));
  throw WabFailure(MAPI_E_CORRUPT_DATA);
}

}  // namespace

IMAPIProp* NewEntryObject(const BookContext& context, std::int64_t container, ULONG objectType) {
  StoredEntry entry;
  entry.container = container;
  entry.objectType = objectType;
  return NewObjectFor(context, std::move(entry));
}

IMAPIProp* OpenEntryObject(const BookContext& context, StoredEntry entry) {
  return NewObjectFor(context, std::move(entry));
}
