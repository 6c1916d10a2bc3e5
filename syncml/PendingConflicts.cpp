// The conflicts waiting for the server's version of their item.
#include "syncml/PendingConflicts.h"

#include <algorithm>
#include <utility>

void PendingConflicts::Add(Conflict conflict) {
  std::erase_if(mWaiting, [&](const Conflict& waiting) { return waiting.localId == conflict.localId; });
  mWaiting.push_back(std::move(conflict));
}

std::optional<PendingConflicts::Conflict> PendingConflicts::Take(const std::string& localId) {
  const auto found = std::find_if(mWaiting.begin(), mWaiting.end(), [&](const Conflict& waiting) { return waiting.localId == localId; });
  if (found == mWaiting.end()) return std::nullopt;
  Conflict conflict = std::move(*found);
  mWaiting.erase(found);
  return conflict;
}

std::vector<PendingConflicts::Conflict> PendingConflicts::TakeAll() { return std::exchange(mWaiting, {}); }
