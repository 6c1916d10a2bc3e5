// The opening sequence of the address book, one failure code per step.
#include "platform/wab/WabConnection.h"

#include "platform/wab/WabSetting.h"

WabConnection::WabConnection(const WabOpenOptions& options) {
  mStatus = Open(options);
  if (mStatus != WabOpenStatus::Ok) {
    mContainer.Reset();
    mAddrBook.Reset();
    mAllocator.Reset();
  }
}

WabOpenStatus WabConnection::Open(const WabOpenOptions& options) {
  std::string value;
  if (options.library) {
    value = *options.library;
  } else if (!ReadWabDllPath(value, &mDetail)) {
    return WabOpenStatus::NoSetting;
  }
  mLibraryPath = ResolveWabLibrary(value);
  mLibrary = std::make_unique<SharedLibrary>(mLibraryPath);
  if (!mLibrary->IsLoaded()) {
    mDetail = mLibrary->Error();
    return WabOpenStatus::LibraryNotLoadable;
  }
  const auto open = reinterpret_cast<LPWABOPEN>(mLibrary->Symbol(kWabOpenSymbol));
  if (open == nullptr) return WabOpenStatus::NoEntryPoint;

  WAB_PARAM param{};
  param.cbSize = sizeof(WAB_PARAM);
  param.szFileName = options.bookFile.empty() ? nullptr : options.bookFile.c_str();
  mResult = open(mAddrBook.Put(), mAllocator.Put(), &param, 0);
  if (HrFailed(mResult)) return WabOpenStatus::OpenFailed;
  return OpenPersonalContainer();
}

WabOpenStatus WabConnection::OpenPersonalContainer() {
  ULONG size = 0;
  WabBuffer<ENTRYID> pab(mAllocator.Get());  // freed whatever happens next
  mResult = mAddrBook->GetPAB(&size, pab.Put());
  if (HrFailed(mResult)) return WabOpenStatus::NoPab;
  ULONG type = 0;
  WabRef<IUnknown> object;
  mResult = mAddrBook->OpenEntry(size, pab.Get(), nullptr, MAPI_BEST_ACCESS, &type, object.Put());
  if (HrFailed(mResult)) return WabOpenStatus::ContainerNotOpenable;
  if (type != MAPI_ABCONT) {
    mResult = MAPI_E_UNKNOWN_ENTRYID;
    return WabOpenStatus::ContainerNotOpenable;
  }
  mContainer.Reset(static_cast<IABContainer*>(object.Detach()));
  return WabOpenStatus::Ok;
}
