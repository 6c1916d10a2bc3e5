// What the update helper does: wait for the program, run the installer, restart the program.
#pragma once

#include <chrono>
#include <string>
#include <vector>

class CmdLineParser;

// The package installed when "/source" is absent.
inline constexpr const char* kDefaultPackage = "Tarnwell_Sync_Installer.msi";
// The installer program, looked for beside the helper.
inline constexpr const char* kInstallerName = "lkinstall";
// The longest wait for the program named by "/pid" to end.
inline constexpr std::chrono::milliseconds kProgramExitWait{60000};

// The manifest an installation carries at the top of its folder.
inline constexpr const char* kManifestName = "product.manifest";

// The installer's arguments: "/i", the "/source" value (or kDefaultPackage) as one argument,
// unchanged, then "REINSTALLMODE=vamus", "/passive", "/L*v", "update.log", and when
// `productCode` is not empty "PRODUCTCODE=<productCode>" (the installer then refuses a package of
// another product).
std::vector<std::string> InstallerArguments(const CmdLineParser& line, const std::string& productCode = {});

// The program being updated: the "/path" value, else the program file the process of "/pid" runs;
// empty when neither names one.
std::string ProgramToUpdate(const CmdLineParser& line);

// The "ProductCode" of the manifest at the top of the folder of `program`; empty when there is
// no readable manifest holding one.
std::string InstalledProductCode(const std::string& program);

// The folder the restarted program runs in: `path` before its last "/", "" when it has none.
std::string RestartFolder(const std::string& path);

// Runs the whole sequence and returns the status: the installer's code, or the error number of a
// start that failed (the installer's or the restart's). No failure stops the sequence; the
// program of "/pid" is waited for at most `programExitWait`. When the program being updated is
// known (ProgramToUpdate), only a package of its product is installed: the installer is told its
// product code, and a program without one (not an installation) gets 1603 without installing.
unsigned RunUpdate(const CmdLineParser& line, const std::string& installerPath,
                   std::chrono::milliseconds programExitWait = kProgramExitWait);
