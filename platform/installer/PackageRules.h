// What a package may hold: entry paths and link targets that stay inside the folder it unpacks to.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The entry path made relative and plain ("./bin/x/" -> "bin/x"; "." or "./" -> ""), or
// std::nullopt when it would leave the target folder: an absolute path, a ".." component, or a
// NUL byte.
std::optional<std::string> SafeEntryPath(std::string_view raw);

// Whether the symbolic link at `entryPath` (a SafeEntryPath result) pointing at `target` stays
// inside the target folder when read as written: a non-empty relative target whose ".."
// components never climb above the folder. Links through other links are checked again once the
// package is unpacked (see FindEscapingLink).
bool LinkTargetStaysInside(std::string_view entryPath, std::string_view target);

// The first symbolic link below `root` whose real resolution (through every link on the way)
// leaves `root`, as a path relative to it; std::nullopt when there is none.
std::optional<std::string> FindEscapingLink(const std::string& root);
