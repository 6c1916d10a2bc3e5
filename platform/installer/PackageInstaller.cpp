// Package installation: inspect the whole archive, unpack it beside the program folder, swap.
#include "platform/installer/PackageInstaller.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "common/AtomicFile.h"
#include "common/FileDescriptor.h"
#include "platform/installer/DesktopEntries.h"
#include "platform/installer/InstallLog.h"
#include "platform/installer/PackageRules.h"
#include "platform/installer/TarReader.h"
#include "platform/shell/UserFolders.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kStagingSuffix = ".lkinstall-staging";
constexpr const char* kRemovingSuffix = ".lkinstall-removing";

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string WithoutSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// ".<name><suffix>" in the folder that holds `folder`.
std::string Beside(const std::string& folder, const char* suffix) {
  const fs::path plain(WithoutSlash(folder));
  return (plain.parent_path() / ("." + plain.filename().string() + suffix)).string();
}

std::string ErrnoText(int error) { return std::error_code(error, std::generic_category()).message(); }

// Holds the installer's lock file for the life of the object: one installer run at a time.
class InstallerLock {
 public:
  explicit InstallerLock(const std::string& path)
      : mFd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {}
  bool Take() { return mFd.IsOpen() && ::flock(mFd.Get(), LOCK_EX | LOCK_NB) == 0; }

 private:
  FileDescriptor mFd;
};

// Opens the folder `relative` below the folder `root` one component at a time, never following
// a link, creating missing levels when `create` is set.
FileDescriptor OpenFolderBelow(int root, const std::string& relative, bool create) {
  FileDescriptor current(::dup(root));
  std::size_t start = 0;
  while (current.IsOpen() && start < relative.size()) {
    const std::size_t slash = relative.find('/', start);
    const std::string part = relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    start = slash == std::string::npos ? relative.size() : slash + 1;
    if (create && ::mkdirat(current.Get(), part.c_str(), 0700) != 0 && errno != EEXIST) return FileDescriptor();
    current.Reset(::openat(current.Get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  return current;
}

std::pair<std::string, std::string> SplitParent(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {std::string(), path};
  return {path.substr(0, slash), path.substr(slash + 1)};
}

// Writes one entry below the staging folder `root`; "" or the reason it could not.
std::string WriteEntry(int root, const std::string& path, const TarEntry& entry, TarReader& reader) {
  if (path.empty()) return {};  // the package's top folder itself
  if (entry.type == TarEntryType::Directory) {
    FileDescriptor folder = OpenFolderBelow(root, path, true);
    if (!folder.IsOpen() || ::fchmod(folder.Get(), (entry.mode & 0755) | 0700) != 0) return path + ": " + ErrnoText(errno);
    return {};
  }
  const auto [parentPath, name] = SplitParent(path);
  FileDescriptor parent = OpenFolderBelow(root, parentPath, true);
  if (!parent.IsOpen()) return path + ": its folder cannot be made (or is a link): " + ErrnoText(errno);
  // A later entry of the same name replaces the earlier one, as tar does; never a folder.
  if (::unlinkat(parent.Get(), name.c_str(), 0) != 0 && errno != ENOENT) return path + ": " + ErrnoText(errno);
  if (entry.type == TarEntryType::SymbolicLink) {
    if (::symlinkat(entry.linkTarget.c_str(), parent.Get(), name.c_str()) != 0) return path + ": " + ErrnoText(errno);
    return {};
  }
  FileDescriptor file(::openat(parent.Get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                               (entry.mode & 0755) | 0600));
  if (!file.IsOpen()) return path + ": " + ErrnoText(errno);
  std::vector<char> buffer(64 * 1024);
  for (std::size_t got = reader.ReadData(buffer.data(), buffer.size()); got > 0; got = reader.ReadData(buffer.data(), buffer.size())) {
    for (std::size_t done = 0; done < got;) {
      const ssize_t written = ::write(file.Get(), buffer.data() + done, got - done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return path + ": " + ErrnoText(errno);
      done += static_cast<std::size_t>(written);
    }
  }
  if (::fsync(file.Get()) != 0 || !file.Close()) return path + ": " + ErrnoText(errno);
  return {};
}

// The reason `entry` may not be installed, or "" when it may.
std::string RefusalOf(const TarEntry& entry, const std::optional<std::string>& path) {
  if (!path) return "refused entry \"" + entry.path + "\": absolute path or \"..\"";
  // The manifest the installer reads after the swap (and at removal) must be the one inspected.
  const std::string manifest = ProductManifest::kFileName;
  if (*path == manifest ? entry.type != TarEntryType::File : path->starts_with(manifest + "/")) {
    return "refused entry \"" + entry.path + "\": the manifest must be a regular file at the top";
  }
  switch (entry.type) {
    case TarEntryType::File:
    case TarEntryType::Directory: return {};
    case TarEntryType::SymbolicLink:
      if (LinkTargetStaysInside(*path, entry.linkTarget)) return {};
      return "refused entry \"" + entry.path + "\": link to \"" + entry.linkTarget + "\" leaves the program folder";
    case TarEntryType::HardLink: return "refused entry \"" + entry.path + "\": hard links are not installed";
    case TarEntryType::Other: return "refused entry \"" + entry.path + "\": special files are not installed";
  }
  return "refused entry \"" + entry.path + "\"";
}

bool SyncFolder(const std::string& path) {
  FileDescriptor folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return folder.IsOpen() && ::fsync(folder.Get()) == 0;
}

void RemoveTree(const std::string& path, InstallLog& log) {
  std::error_code error;
  fs::remove_all(path, error);
  if (error) log.Error("cannot remove " + path + ": " + error.message());
}

std::optional<InstalledProduct> ReadRecord(const std::string& path) {
  std::string text;
  if (!ReadWholeFile(path, text, ProductManifest::kMaxBytes * 2)) return std::nullopt;
  return InstalledProduct::Parse(text);
}

}  // namespace

std::optional<InstalledProduct> InstalledProduct::Parse(std::string_view text) {
  auto manifest = ProductManifest::Parse(text);
  const std::string_view key = "\nInstallFolder=";
  const std::size_t at = text.find(key);
  if (!manifest || at == std::string_view::npos) return std::nullopt;
  std::string_view folder = text.substr(at + key.size());
  folder = folder.substr(0, folder.find('\n'));
  if (folder.empty() || folder.front() != '/') return std::nullopt;
  return InstalledProduct{*manifest, WithSlash(std::string(folder))};
}

std::string InstalledProduct::Text() const { return manifest.Text() + "InstallFolder=" + folder + "\n"; }

InstallerPlaces InstallerPlaces::ForUser() {
  const std::string data = UserDataFolder();
  if (data.empty()) return {};
  return {data + "lkinstall/", data + "lkinstall/programs/", data + "applications/"};
}

struct PackageInstaller::Inspection {
  std::optional<ProductManifest> manifest;
  std::size_t entries = 0;
};

PackageInstaller::PackageInstaller(InstallerPlaces places, InstallLog& log, Confirm confirm, Checkpoint checkpoint, Limits limits)
    : mPlaces(std::move(places)), mLog(log), mConfirm(std::move(confirm)), mCheckpoint(std::move(checkpoint)), mLimits(limits) {}

std::string PackageInstaller::RecordPath(const std::string& productCode) const {
  return mPlaces.recordFolder + productCode + ".product";
}

// The whole archive is read once before anything is written: a truncated or damaged package, or
// one entry that may not be installed, stops the installation while nothing has changed.
InstallerStatus PackageInstaller::Inspect(const std::string& package, Inspection& out) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(package.c_str(), "rb"));
  if (!file) {
    mLog.Error("cannot open the package " + package + ": " + ErrnoText(errno));
    return InstallerStatus::PackageNotOpened;
  }
  try {
    TarReader reader(file.get());
    unsigned long long unpacked = 0;
    while (auto entry = reader.Next()) {
      const std::optional<std::string> path = SafeEntryPath(entry->path);
      if (const std::string refusal = RefusalOf(*entry, path); !refusal.empty()) {
        mLog.Error(refusal);
        return InstallerStatus::Failure;
      }
      // What a folder or a link announces is read (and skipped) all the same.
      unpacked += entry->archiveBytes;
      if (++out.entries > mLimits.entries || unpacked > mLimits.unpackedBytes) {
        mLog.Error("the package is larger than an installation may be");
        return InstallerStatus::Failure;
      }
      if (*path == ProductManifest::kFileName) {
        if (entry->size > ProductManifest::kMaxBytes) {
          mLog.Error("refused entry \"" + entry->path + "\": the manifest is too large");
          return InstallerStatus::Failure;
        }
        std::string text(static_cast<std::size_t>(entry->size), '\0');
        if (reader.ReadData(text.data(), text.size()) != text.size()) throw ArchiveError("manifest cut short");
        out.manifest = ProductManifest::Parse(text);
      }
    }
  } catch (const ArchiveError& error) {
    mLog.Error("the package " + package + " is damaged: " + error.what());
    return InstallerStatus::Failure;
  }
  if (!out.manifest) {
    mLog.Error("the package " + package + " has no valid " + ProductManifest::kFileName);
    return InstallerStatus::Failure;
  }
  return InstallerStatus::Success;
}

InstallerStatus PackageInstaller::Unpack(const std::string& package, const std::string& staging) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(package.c_str(), "rb"));
  FileDescriptor root(::open(staging.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!file || !root.IsOpen()) {
    mLog.Error("cannot unpack " + package + " into " + staging + ": " + ErrnoText(errno));
    return InstallerStatus::Failure;
  }
  try {
    TarReader reader(file.get());
    while (auto entry = reader.Next()) {
      // Checked again: the file may have changed since it was inspected.
      const std::optional<std::string> path = SafeEntryPath(entry->path);
      std::string failure = RefusalOf(*entry, path);
      if (failure.empty()) failure = WriteEntry(root.Get(), *path, *entry, reader);
      if (!failure.empty()) {
        mLog.Error(failure);
        return InstallerStatus::Failure;
      }
    }
  } catch (const ArchiveError& error) {
    mLog.Error("the package " + package + " is damaged: " + error.what());
    return InstallerStatus::Failure;
  }
  if (const auto escaping = FindEscapingLink(staging)) {
    mLog.Error("refused entry \"" + *escaping + "\": its links lead out of the program folder");
    return InstallerStatus::Failure;
  }
  if (!SyncFolder(staging)) {
    mLog.Error("cannot flush " + staging + ": " + ErrnoText(errno));
    return InstallerStatus::Failure;
  }
  return InstallerStatus::Success;
}

std::string PackageInstaller::TargetFolder(const ProductManifest& manifest, const std::string& installFolder) const {
  if (!installFolder.empty()) {
    std::error_code error;
    const fs::path absolute = fs::absolute(installFolder, error);
    return error ? std::string() : WithSlash(absolute.lexically_normal().string());
  }
  if (const auto record = ReadRecord(RecordPath(manifest.productCode))) return record->folder;
  return mPlaces.programsFolder.empty() ? std::string() : mPlaces.programsFolder + manifest.productName + "/";
}

// An existing folder is replaced only when it is empty or an installation of the same product.
bool PackageInstaller::HoldsOtherContent(const std::string& folder, const std::string& productCode) const {
  std::error_code error;
  if (!fs::exists(fs::symlink_status(WithoutSlash(folder), error))) return false;
  if (!fs::is_directory(fs::symlink_status(WithoutSlash(folder), error))) return true;
  if (fs::is_empty(folder, error) && !error) return false;
  std::string text;
  if (!ReadWholeFile(folder + ProductManifest::kFileName, text, ProductManifest::kMaxBytes)) return true;
  const auto installed = ProductManifest::Parse(text);
  return !installed || installed->productCode != productCode;
}

// One rename exchanges the folders, so the program folder never holds a mix; a new installation
// is one rename of the staging folder.
InstallerStatus PackageInstaller::SwapIn(const std::string& staging, const std::string& folder) {
  const std::string target = WithoutSlash(folder);
  std::error_code error;
  const bool replacing = fs::exists(fs::symlink_status(target, error));
  const int result = replacing ? ::renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE)
                               : ::rename(staging.c_str(), target.c_str());
  if (result != 0) {
    mLog.Error("cannot move the new installation into " + target + ": " + ErrnoText(errno));
    return InstallerStatus::Failure;
  }
  SyncFolder(fs::path(target).parent_path().string());
  mLog.Info(replacing ? "swapped the new installation into " + target : "moved the new installation to " + target);
  return InstallerStatus::Success;
}

InstallerStatus PackageInstaller::Install(const std::string& package, const std::string& installFolder,
                                          const std::string& reinstallMode, const std::string& requiredProductCode) {
  mLog.Info("installing " + package + (reinstallMode.empty() ? "" : " (REINSTALLMODE=" + reinstallMode + ")"));
  Inspection inspection;
  if (const InstallerStatus status = Inspect(package, inspection); status != InstallerStatus::Success) return status;
  const ProductManifest& manifest = *inspection.manifest;
  mLog.Info("package of " + manifest.productName + " " + manifest.productVersion + ", product code " + manifest.productCode +
            ", " + std::to_string(inspection.entries) + " entries");
  if (!requiredProductCode.empty() && manifest.productCode != requiredProductCode) {
    mLog.Error("the package is of the product " + manifest.productCode + ", not of " + requiredProductCode + ": not installed");
    return InstallerStatus::Failure;
  }
  const std::string folder = TargetFolder(manifest, installFolder);
  if (folder.empty() || folder == "/" || mPlaces.recordFolder.empty()) {
    mLog.Error("no folder to install into");
    return InstallerStatus::Failure;
  }
  if (!mConfirm("Install " + manifest.productName + " " + manifest.productVersion + " into " + folder + "?")) {
    mLog.Info("cancelled by the user");
    return InstallerStatus::UserExit;
  }
  if (!CreateFolderPath(mPlaces.recordFolder) || !CreateFolderPath(fs::path(WithoutSlash(folder)).parent_path().string())) {
    mLog.Error("cannot create the folders of " + folder);
    return InstallerStatus::Failure;
  }
  InstallerLock lock(mPlaces.recordFolder + ".lock");
  if (!lock.Take()) {
    mLog.Error("another installation is running");
    return InstallerStatus::AlreadyRunning;
  }
  if (HoldsOtherContent(folder, manifest.productCode)) {
    mLog.Error(folder + " holds something other than " + manifest.productName + ": not replaced");
    return InstallerStatus::Failure;
  }
  const std::string staging = Beside(folder, kStagingSuffix);
  // What an interrupted run left beside the folder is never the installation itself.
  RemoveTree(staging, mLog);
  RemoveTree(Beside(folder, kRemovingSuffix), mLog);
  if (::mkdir(staging.c_str(), 0755) != 0) {
    mLog.Error("cannot create " + staging + ": " + ErrnoText(errno));
    return InstallerStatus::Failure;
  }
  InstallerStatus status = Unpack(package, staging);
  if (status == InstallerStatus::Success) {
    mLog.Info("unpacked into " + staging);
    mCheckpoint("unpacked");
    status = SwapIn(staging, folder);
  }
  if (status != InstallerStatus::Success) {
    RemoveTree(staging, mLog);
    return status;
  }
  mCheckpoint("swapped");
  std::string error;
  if (!WriteFileAtomically(RecordPath(manifest.productCode), InstalledProduct{manifest, folder}.Text(), 0600, &error)) {
    // The program is installed; only its removal by product code will not find it.
    mLog.Error("cannot record the installation: " + error);
  }
  RemoveTree(staging, mLog);
  // The program is in place; a menu entry that cannot be written is only logged.
  if (!mPlaces.applicationsFolder.empty()) {
    for (const std::string& failure : DesktopEntries::Install(folder, mPlaces.applicationsFolder)) mLog.Error("desktop entry: " + failure);
  }
  mLog.Info("installed " + manifest.productName + " " + manifest.productVersion + " in " + folder);
  return InstallerStatus::Success;
}

InstallerStatus PackageInstaller::Remove(const std::string& productCode) {
  mLog.Info("removing the product " + productCode);
  const std::optional<InstalledProduct> record =
      IsValidProductCode(productCode) && !mPlaces.recordFolder.empty() ? ReadRecord(RecordPath(productCode)) : std::nullopt;
  if (!record) {
    mLog.Error("no installed product has the code \"" + productCode + "\"");
    return InstallerStatus::UnknownProduct;
  }
  if (!mConfirm("Remove " + record->manifest.productName + " " + record->manifest.productVersion + " from " + record->folder + "?")) {
    mLog.Info("cancelled by the user");
    return InstallerStatus::UserExit;
  }
  InstallerLock lock(mPlaces.recordFolder + ".lock");
  if (!lock.Take()) {
    mLog.Error("another installation is running");
    return InstallerStatus::AlreadyRunning;
  }
  std::error_code error;
  const std::vector<std::string> entries = DesktopEntries::TemplatesIn(record->folder);
  if (fs::exists(fs::symlink_status(WithoutSlash(record->folder), error))) {
    if (HoldsOtherContent(record->folder, productCode)) {
      mLog.Error(record->folder + " no longer holds this product: nothing removed");
      return InstallerStatus::Failure;
    }
    const std::string removing = Beside(record->folder, kRemovingSuffix);
    RemoveTree(removing, mLog);
    if (::rename(WithoutSlash(record->folder).c_str(), removing.c_str()) != 0) {
      mLog.Error("cannot remove " + record->folder + ": " + ErrnoText(errno));
      return InstallerStatus::Failure;
    }
    SyncFolder(fs::path(removing).parent_path().string());
    mCheckpoint("removing");
    RemoveTree(removing, mLog);
  }
  if (!fs::remove(RecordPath(productCode), error) || error) mLog.Error("cannot remove the record of " + productCode);
  if (!mPlaces.applicationsFolder.empty()) {
    for (const std::string& failure : DesktopEntries::Remove(entries, record->folder, mPlaces.applicationsFolder)) {
      mLog.Error("desktop entry: " + failure);
    }
  }
  mLog.Info("removed " + record->manifest.productName + " from " + record->folder);
  return InstallerStatus::Success;
}
