// Fuzz target: the index file reader. Any bytes must load without a crash; a list that loaded
// must write back to bytes that load to the same list.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/CDataItemList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CDataItemList list;
  if (!list.Deserialize(std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
  const std::string written = list.Serialize();
  CDataItemList again;
  if (!again.Deserialize(written) || again.Serialize() != written) std::abort();
  return 0;
}
