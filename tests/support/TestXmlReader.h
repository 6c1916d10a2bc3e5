// A small XML reader of the test servers: elements, attributes, namespaces, text, CDATA, the five
// predefined entities and character references. It shares nothing with the client's decoder, so
// that the client's encoding faults show in tests instead of cancelling out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One element: its local name (any prefix removed), the namespace in effect for it, its
// attributes, its text (character data and CDATA sections joined, references decoded) and its
// child elements in document order.
struct XmlElement {
  std::string name;
  std::string namespaceUri;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string text;
  std::vector<XmlElement> children;

  // The first child with that local name, or nullptr.
  const XmlElement* Child(std::string_view childName) const;
  // Every child with that local name, in order.
  std::vector<const XmlElement*> Children(std::string_view childName) const;
  // The element at the path of local names below this one ("Item/Source/LocURI"), or nullptr.
  const XmlElement* Find(std::string_view path) const;
  // The text of Find(path), or "" when there is no such element.
  std::string Text(std::string_view path) const;
  bool Has(std::string_view path) const { return Find(path) != nullptr; }
};

// Parses a whole document (an optional XML declaration, comments, processing instructions and a
// document type declaration are skipped). Throws std::runtime_error naming the offset for
// malformed XML, for a character that XML 1.0 forbids (C0 controls other than tab, line feed and
// carriage return, raw or as a reference), for input over `maxBytes` or nesting over 64 levels.
XmlElement ParseXml(std::string_view document, std::size_t maxBytes = std::size_t{16} << 20);
