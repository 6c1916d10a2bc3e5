// Construction and comparison of the content values of Meta and Data elements.
#include "syncml/SmlTypes.h"

#include <utility>

namespace {

SmlPcdata TextOfKind(SmlContentKind kind, std::string value) {
  SmlPcdata result;
  result.kind = kind;
  result.text = std::move(value);
  return result;
}

template <class T>
bool SameContent(const std::shared_ptr<const T>& a, const std::shared_ptr<const T>& b) {
  if (a == nullptr || b == nullptr) return a == b;
  return *a == *b;
}

}  // namespace

SmlPcdata SmlPcdata::Plain(std::string value) { return TextOfKind(SmlContentKind::Plain, std::move(value)); }
SmlPcdata SmlPcdata::Opaque(std::string value) { return TextOfKind(SmlContentKind::Opaque, std::move(value)); }
SmlPcdata SmlPcdata::Cdata(std::string value) { return TextOfKind(SmlContentKind::Cdata, std::move(value)); }

SmlPcdata SmlPcdata::Of(SmlMetInf value) {
  SmlPcdata result;
  result.kind = SmlContentKind::Extension;
  result.metInf = std::make_shared<const SmlMetInf>(std::move(value));
  return result;
}

SmlPcdata SmlPcdata::Of(SmlDevInf value) {
  SmlPcdata result;
  result.kind = SmlContentKind::Extension;
  result.devInf = std::make_shared<const SmlDevInf>(std::move(value));
  return result;
}

bool SmlPcdata::IsText() const {
  return kind == SmlContentKind::Plain || kind == SmlContentKind::Opaque || kind == SmlContentKind::Cdata;
}

bool SmlPcdata::operator==(const SmlPcdata& other) const {
  return kind == other.kind && text == other.text && SameContent(metInf, other.metInf) &&
         SameContent(devInf, other.devInf);
}

bool SmlFilter::operator==(const SmlFilter& other) const {
  return meta == other.meta && filterType == other.filterType && record == other.record &&
         field == other.field;
}
