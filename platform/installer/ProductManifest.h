// The manifest a package carries at its top ("product.manifest"): product code, name and version.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct ProductManifest {
  static constexpr const char* kFileName = "product.manifest";
  static constexpr std::size_t kMaxBytes = 4096;

  std::string productCode;
  std::string productName;
  std::string productVersion;

  // Parses "Key=Value" lines (ProductCode, ProductName, ProductVersion; others ignored, "#" lines
  // are comments). std::nullopt unless all three are there and valid: the code and the name are
  // used in file names, so they must pass IsValidProductCode and IsValidProductName.
  static std::optional<ProductManifest> Parse(std::string_view text);
  std::string Text() const;

  bool operator==(const ProductManifest&) const = default;
};

// 1 to 64 characters of letters, digits, "{", "}", "-" and "_".
bool IsValidProductCode(std::string_view code);
// 1 to 64 characters of letters, digits, " ", ".", "-" and "_", not starting with "." (the name
// of the installation's folder, beside which the installer keeps hidden folders of its own).
bool IsValidProductName(std::string_view name);
