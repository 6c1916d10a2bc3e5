// Base64 with the standard alphabet, as the configuration file stores the remembered password.
#pragma once

#include <string>
#include <string_view>

// Encodes `bytes` with "A"-"Z", "a"-"z", "0"-"9", "+", "/", "=" padding and no line breaks.
std::string EncodeBase64(std::string_view bytes);

// Decodes leniently: white space is skipped; decoding ends at the first character outside the
// alphabet, or at "=" (the bytes of a complete final group before it are kept). Never fails:
// bad input yields whatever was decoded up to that point.
std::string DecodeBase64(std::string_view text);
