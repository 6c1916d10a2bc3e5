// Random identifiers: client store identities and session identifiers.
#pragma once

#include <cstddef>
#include <string>

// `length` characters of 0-9, A-Z and a-z from a generator seeded by the system's random source.
std::string RandomIdentity(std::size_t length);
