// Moving the configuration of an older installation, kept in the program folder, to the per-user folder.
#pragma once

#include <string>

// Copies `sourceFolder` + "QuenorSync.cfg" into `targetFolder` under the same name, replacing
// what is there; false, with nothing more copied, when that fails. Then copies every "*.anc" file
// (anchors) and then every "*.dat" file (indexes) of `sourceFolder`, each in name order; the first
// failed copy ends the migration, which still counts as successful (true). Both folders end in
// "/". Each copy replaces its target atomically (0600), so an interrupted migration never leaves
// a truncated file; a source above kMaxMigratedFileSize fails its copy.
bool MigrateConfiguration(const std::string& sourceFolder, const std::string& targetFolder);

inline constexpr size_t kMaxMigratedFileSize = size_t(256) << 20;
