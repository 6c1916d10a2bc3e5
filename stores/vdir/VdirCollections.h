// The collections a vdir link can use: those under the root, and those the command-line contact,
// calendar and task programs of the user name in their configuration files.
#pragma once

#include <string>
#include <vector>

// One collection offered for a link.
struct VdirCollectionChoice {
  std::string name;  // what the user sees: the path relative to the root, else the absolute path
  std::string path;  // a link's client_full_path: relative to the root, or absolute
};

// For `dataType` (0 contacts, 1 events, 2 tasks): the type's default collection ("contacts",
// "calendar" or "tasks" under `root`, listed even before it exists) first, then the other folders
// directly under `root` (dot folders left out), then the existing folders the programs'
// configuration files under `configHome` name (khard's address books for contacts, khal's
// calendars for events, todoman's lists for tasks), each once.
std::vector<VdirCollectionChoice> ListVdirCollections(const std::string& root, int dataType, const std::string& configHome);

// $XDG_CONFIG_HOME, else ~/.config; "" when neither is known.
std::string UserConfigHome();
