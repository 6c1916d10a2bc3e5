// Opening the user's address book the way the Windows Contacts adapter does: the library setting,
// loading the library, WABOpen, the personal address book and its container, with each failing
// step told apart by the string-table identifier of its message.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "common/StringIds.h"
#include "platform/shell/SharedLibrary.h"
#include "platform/wab/WabApi.h"
#include "platform/wab/WabPtr.h"

enum class WabOpenStatus : unsigned {
  Ok = 0,
  NoSetting = IDS_WAB_REGISTRY_ERROR,           // 125: no DLLPath value
  LibraryNotLoadable = IDS_WAB_NOT_FOUND,       // 140
  NoEntryPoint = IDS_WAB_NO_ENTRY_POINT,        // 113: the library has no WABOpen
  OpenFailed = IDS_OUTLOOK_LOAD_ERROR,          // 141: WABOpen failed
  NoPab = IDS_WAB_NO_PAB,                       // 151: GetPAB failed
  ContainerNotOpenable = IDS_WAB_OPEN_PAB_ERROR,  // 152: OpenEntry of the PAB failed
};

struct WabOpenOptions {
  // A library setting value to use instead of reading the setting ("" = the default library).
  std::optional<std::string> library;
  // The book file handed to WABOpen; empty opens the user's book.
  std::string bookFile;
};

// Owns the loaded library and the three objects; never throws for a failing step (Status()).
// Destruction releases the container, the address book and the allocator, then unloads the
// library; no object or buffer of the library may outlive the connection.
class WabConnection {
 public:
  explicit WabConnection(const WabOpenOptions& options = {});
  ~WabConnection() = default;
  WabConnection(const WabConnection&) = delete;
  WabConnection& operator=(const WabConnection&) = delete;

  WabOpenStatus Status() const { return mStatus; }
  bool IsOpen() const { return mStatus == WabOpenStatus::Ok; }
  // The result code of the failing call (OpenFailed, NoPab, ContainerNotOpenable), else S_OK.
  HRESULT Result() const { return mResult; }
  // The setting's or the loader's explanation of a failure, else empty.
  const std::string& Detail() const { return mDetail; }
  const std::string& LibraryPath() const { return mLibraryPath; }

  // Valid while open and while the connection lives; not owned by the caller.
  IWABObject* Allocator() const { return mAllocator.Get(); }
  IAddrBook* AddrBook() const { return mAddrBook.Get(); }
  IABContainer* Container() const { return mContainer.Get(); }

 private:
  WabOpenStatus Open(const WabOpenOptions& options);
  WabOpenStatus OpenPersonalContainer();

  // Declared first: destroyed after the objects of the library.
  std::unique_ptr<SharedLibrary> mLibrary;
  WabRef<IWABObject> mAllocator;
  WabRef<IAddrBook> mAddrBook;
  WabRef<IABContainer> mContainer;
  WabOpenStatus mStatus = WabOpenStatus::Ok;
  HRESULT mResult = S_OK;
  std::string mDetail;
  std::string mLibraryPath;
};
