// The machine-wide setting that names the address book library (the value "DLLPath" of a setting
// file written at install time), and the library a value stands for.
#pragma once

#include <string>

// The setting file, and the environment variable that names another one (tests).
inline constexpr const char* kWabSettingFile = "/etc/larkspan/wab.conf";
inline constexpr const char* kWabSettingVariable = "LARK_WAB_CONF";
// The library loaded for an empty value.
inline constexpr const char* kWabDefaultLibrary = "libwabstore.so";
// Longest value after expansion.
inline constexpr std::size_t kWabMaxPathLength = 4096;

// Reads the value of DLLPath ("DLLPath=..." on a line of its own; key case-insensitive; blank
// lines and lines starting with '#' or ';' ignored), with ${NAME} replaced by the environment
// variable NAME. False, with the reason in `error`, when the file cannot be read (or is over
// 64 KiB), has no DLLPath line, or the expanded value is too long.
bool ReadWabDllPath(std::string& value, std::string* error = nullptr);

// The library to load for a value: the value itself when not empty; else the default library
// beside the program (<program folder>/../lib/) when it is there, else the default name for the
// loader's own search.
std::string ResolveWabLibrary(const std::string& value);
