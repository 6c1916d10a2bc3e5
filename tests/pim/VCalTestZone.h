// Test helper: pins the machine's time zone (TZ) for the lifetime of the object and restores it.
#pragma once

#include <ctime>
#include <memory>
#include <string>

#include "tests/support/TempDir.h"

class ScopedTimeZone {
 public:
  // `posixZone` is a POSIX TZ string such as "CET-1CEST,M3.5.0,M10.5.0/3", so no zone files are needed.
  explicit ScopedTimeZone(const std::string& posixZone) : mEnv(std::make_unique<ScopedEnv>("TZ", posixZone)) { tzset(); }
  ~ScopedTimeZone() {
    mEnv.reset();
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::unique_ptr<ScopedEnv> mEnv;
};

// Zones used by the tests: central Europe, eastern Australia (daylight across the turn of the
// year), and fixed offsets.
inline const char* const kZoneBerlin = "CET-1CEST,M3.5.0,M10.5.0/3";
inline const char* const kZoneSydney = "AEST-10AEDT,M10.1.0,M4.1.0/3";
inline const char* const kZonePlusOne = "XPO-1";
inline const char* const kZoneUtc = "UTC0";
