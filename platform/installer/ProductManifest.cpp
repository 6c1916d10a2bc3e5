// Manifest parsing and writing.
#include "platform/installer/ProductManifest.h"

#include <algorithm>

namespace {

bool IsAlphanumeric(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

}  // namespace

bool IsValidProductCode(std::string_view code) {
  return !code.empty() && code.size() <= 64 &&
         std::all_of(code.begin(), code.end(), [](char c) { return IsAlphanumeric(c) || c == '{' || c == '}' || c == '-' || c == '_'; });
}

bool IsValidProductName(std::string_view name) {
  return !name.empty() && name.size() <= 64 && name.front() != '.' &&
         std::all_of(name.begin(), name.end(), [](char c) { return IsAlphanumeric(c) || c == ' ' || c == '.' || c == '-' || c == '_'; });
}

std::optional<ProductManifest> ProductManifest::Parse(std::string_view text) {
  if (text.size() > kMaxBytes) return std::nullopt;
  ProductManifest manifest;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = Trimmed(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const std::size_t equals = line.find('=');
    if (line.empty() || line.front() == '#' || equals == std::string_view::npos) continue;
    const std::string_view key = Trimmed(line.substr(0, equals));
    const std::string value(Trimmed(line.substr(equals + 1)));
    if (key == "ProductCode") manifest.productCode = value;
    if (key == "ProductName") manifest.productName = value;
    if (key == "ProductVersion") manifest.productVersion = value;
  }
  if (!IsValidProductCode(manifest.productCode) || !IsValidProductName(manifest.productName) || manifest.productVersion.empty()) {
    return std::nullopt;
  }
  return manifest;
}

std::string ProductManifest::Text() const {
  return "ProductCode=" + productCode + "\nProductName=" + productName + "\nProductVersion=" + productVersion + "\n";
}
