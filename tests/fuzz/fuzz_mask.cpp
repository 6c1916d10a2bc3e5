// Fuzz target: masking credentials in logged messages, which also sees server replies. Any bytes
// must be handled; a Cred's Data never survives masking, and masking twice changes nothing more.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "syncml/SyncTransport.h"

namespace {

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string masked = MaskCredentials(input);
  if (MaskCredentials(masked) != masked) std::abort();
  // A well-formed Cred after plain text (no markup that could swallow it) must lose its secret.
  if (input.find('<') != std::string::npos) return 0;
  const std::string secret = "c2VjcmV0LXBhc3N3b3Jk";
  const std::string wrapped = input + "<Cred><Data>" + secret + "</Data></Cred>";
  if (Occurrences(MaskCredentials(wrapped), secret) > Occurrences(input, secret)) std::abort();
  return 0;
}
