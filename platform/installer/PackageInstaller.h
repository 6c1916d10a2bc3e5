// Installing a package into its program folder with one atomic swap, and removing an installation.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/installer/InstallerCommandLine.h"
#include "platform/installer/ProductManifest.h"

class InstallLog;

// One installed product as the installer recorded it.
struct InstalledProduct {
  ProductManifest manifest;
  std::string folder;  // absolute, ending in "/"

  static std::optional<InstalledProduct> Parse(std::string_view text);
  std::string Text() const;
};

// Where the installer keeps its records and puts new installations.
struct InstallerPlaces {
  std::string recordFolder;    // one "<code>.product" file per installed product, and the lock
  std::string programsFolder;  // a new installation goes to programsFolder + product name
  // Where an installation's desktop entries go (DesktopEntries); empty: nowhere.
  std::string applicationsFolder = {};
  // The user's data folder + "lkinstall/", + "lkinstall/programs/" and + "applications/".
  static InstallerPlaces ForUser();
};

// Entry and size ceilings of a package.
struct PackageLimits {
  static constexpr std::size_t kMaxEntries = 100000;
  static constexpr unsigned long long kMaxUnpackedBytes = 4ULL << 30;

  std::size_t entries = kMaxEntries;
  // Every byte the archive announces for its entries: the data of files, folders and links, and
  // their extended headers.
  unsigned long long unpackedBytes = kMaxUnpackedBytes;
};

// The folder (ending in "/") is the installation; beside it the installer keeps, for the time of
// one run, ".<name>.lkinstall-staging" (the unpacked package, then the replaced installation)
// and ".<name>.lkinstall-removing". A crash at any moment leaves the folder holding either the
// old installation or the new one, whole; the next run clears what was left beside it.
//
// The log must outlive the installer. `confirm` is asked once before anything changes (the text
// says what will happen); `checkpoint` is called at "unpacked", "swapped" and "removing" (tests
// stop the process there).
class PackageInstaller {
 public:
  using Confirm = std::function<bool(const std::string& question)>;
  using Checkpoint = std::function<void(const char* step)>;

  using Limits = PackageLimits;

  PackageInstaller(InstallerPlaces places, InstallLog& log, Confirm confirm, Checkpoint checkpoint, Limits limits = Limits());

  // Installs `package`: into `installFolder` when given, else the folder recorded for its product
  // code, else a new one. Refuses (Failure) a package with an entry that is absolute, holds "..",
  // is a link leaving the folder, a hard link or a special file, whose manifest is not a regular
  // file at its top, that passes the limits, whose product code is not `requiredProductCode`
  // (when given: the update helper names the product it updates), and a target folder that holds
  // anything but this product. PackageNotOpened: the file cannot be read or is no package.
  InstallerStatus Install(const std::string& package, const std::string& installFolder, const std::string& reinstallMode,
                          const std::string& requiredProductCode = {});
  // Removes the installation recorded for `productCode` (UnknownProduct when there is none).
  InstallerStatus Remove(const std::string& productCode);

 private:
  struct Inspection;
  InstallerStatus Inspect(const std::string& package, Inspection& out);
  InstallerStatus Unpack(const std::string& package, const std::string& staging);
  InstallerStatus SwapIn(const std::string& staging, const std::string& folder);
  std::string TargetFolder(const ProductManifest& manifest, const std::string& installFolder) const;
  bool HoldsOtherContent(const std::string& folder, const std::string& productCode) const;
  std::string RecordPath(const std::string& productCode) const;

  InstallerPlaces mPlaces;
  InstallLog& mLog;
  Confirm mConfirm;
  Checkpoint mCheckpoint;
  Limits mLimits;
};
