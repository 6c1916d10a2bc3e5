// Per-user and program folders: where the program keeps its per-user files and where it lives.
#pragma once

#include <string>

// The user's data folder: $XDG_DATA_HOME when it is an absolute path, else ~/.local/share (home
// from $HOME, else the password database), created 0700 where missing. Ends in "/"; empty when no
// home folder is known or the folder cannot be created.
std::string UserDataFolder();

// `base` (ending in "/") + `company` + "/" + `product` + "/", each level created 0700 when
// missing (an empty name skips its level); the product level is also narrowed to 0700 when it is
// ours. The path is returned even when a level cannot be created: later file operations in it
// fail and are reported by their callers. Empty when `base` is empty.
std::string MakeUserFolder(const std::string& base, const std::string& company, const std::string& product);

// `path` ending in one more "/" unless it already ends in one; an empty path stays empty.
std::string WithSlash(std::string path);

// Creates `path` and any missing parents, each new level 0700. True when it exists as a folder.
bool CreateFolderPath(const std::string& path);

// The folder of the running program's own file (from /proc/self/exe), ending in "/"; empty when
// it cannot be found.
std::string ProgramFolder();

// The full path of the running program's own file (from /proc/self/exe); empty when unknown.
std::string ProgramFile();
// The full path of the program file the process `pid` runs; empty when `pid` is no process of the
// user or its file is unknown.
std::string ProgramFileOf(long pid);

// Removes the user's automatic start entry of `programName` ($XDG_CONFIG_HOME or ~/.config, then
// "autostart/<programName>.desktop"), so the program no longer starts at log-in. A missing entry
// is no error; false only when an existing entry cannot be removed.
bool RemoveAutostartEntry(const std::string& programName);
