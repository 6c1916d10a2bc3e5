// Fuzz target: zone files of the system's zone database (TZif) and POSIX TZ strings: reading
// never fails badly, offsets stay within a day, and a wall-clock time maps to an instant whose
// offset agrees with it unless it falls in a gap.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/zoneinfo/SystemTimeZone.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

constexpr long kDay = 86400;

template <class Zone>
void CheckInstants(const Zone& zone) {
  for (const long long instant : {-4000000000LL, -1LL, 0LL, 1700000000LL, 1730000000LL, 4100000000LL}) {
    const long offset = zone.OffsetAt(instant);
    Check(offset > -2 * kDay && offset < 2 * kDay);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (const std::optional<PosixZoneRule> rule = PosixZoneRule::Parse(bytes)) {
    CheckInstants(*rule);
  }
  const std::optional<SystemTimeZone> zone = SystemTimeZone::FromTzif(bytes);
  if (!zone) return 0;
  CheckInstants(*zone);
  for (const long long wall : {0LL, 1711846800LL, 1729990800LL, 4000000000LL}) {
    const long long utc = zone->WallToUtc(wall);
    Check(utc - wall > -2 * kDay && utc - wall < 2 * kDay);
  }
  (void)zone->Transitions(0, 4100000000LL);
  return 0;
}
