// Where the user's address book lives when the caller of WABOpen names no file.
#pragma once

#include <string>

// Environment variable naming another book file (tests, several books side by side).
inline constexpr const char* kBookPathVariable = "LARK_WAB_ADDRESSBOOK";

// $LARK_WAB_ADDRESSBOOK when set and not empty; else $XDG_DATA_HOME/wab/addressbook.db (with
// ~/.local/share for an unset XDG_DATA_HOME), creating the folders (0700) as needed. Throws
// WabFailure when there is no home folder or the folder cannot be made.
std::string UserBookPath();
