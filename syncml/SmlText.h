// The optional text value of a SyncML leaf element.
#pragma once

#include <optional>
#include <string>

// A leaf value: std::nullopt when the element is absent (nothing is written), an empty string
// when it is present without content (written as a start tag directly followed by its end tag).
// Texts are UTF-8 as the codec receives or delivers them; the codec escapes them on writing and
// decodes character references on reading, and otherwise does not convert them.
using SmlText = std::optional<std::string>;
