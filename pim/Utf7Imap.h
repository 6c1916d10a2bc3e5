// The modified UTF-7 of IMAP mailbox names: printable ASCII stands for itself, "&-" for "&", and
// "&" opens a run of UTF-16 in base64 (with "," for "/", no padding) that "-" closes.
#pragma once

#include <string>
#include <string_view>

// The names under which the character set converter offers this encoding (any letter case).
bool IsImapUtf7Name(std::string_view name);

// UTF-8 to modified UTF-7; false for input that is not UTF-8.
bool Utf8ToImapUtf7(std::string_view utf8, std::string& out);
// Modified UTF-7 to UTF-8; false for a byte outside printable ASCII, an unclosed or malformed run
// or an unpaired surrogate.
bool ImapUtf7ToUtf8(std::string_view text, std::string& out);
