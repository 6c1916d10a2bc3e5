// Message texts of system and installer result codes, as the program shows them to the user.
#pragma once

#include <string>

// The text for `code`: the exit codes of the installer program (1602 cancelled, 1603 failed,
// 1605 unknown product, 1618, 1619, 1620 and the others of its table) from the installer's own
// table; any other code from the system's error texts (errno values). Never empty: a code
// nobody knows gives a text that names the number.
std::string SystemMessageText(int code);

// Whether `code` is one of the installer's exit codes with a text of its own.
bool IsInstallerCode(int code);
