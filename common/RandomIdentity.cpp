// A properly seeded generator for identifiers: two runs never share a session or an identity.
#include "common/RandomIdentity.h"

#include <random>

std::string RandomIdentity(std::size_t length) {
  static constexpr char kSymbols[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  std::random_device device;
  std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
  std::mt19937_64 generator(seed);
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kSymbols - 2);
  std::string identity(length, '0');
  for (char& symbol : identity) symbol = kSymbols[pick(generator)];
  return identity;
}
