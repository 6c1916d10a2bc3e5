// Readers of the tab lists of a contact record.
#include "pim/ItemLists.h"

#include <algorithm>

#include "pim/CDataItem.h"

namespace {

char LetterAt(std::string_view code, size_t index) { return index < code.size() ? code[index] : '\0'; }

PhoneKind PhoneKindOf(char letter) {
  switch (letter) {
    case 'C':
      return PhoneKind::Cell;
    case 'F':
      return PhoneKind::Fax;
    case 'P':
      return PhoneKind::Pager;
    case 'A':
      return PhoneKind::Car;
    default:
      return PhoneKind::Voice;
  }
}

}  // namespace

std::vector<std::string> SplitTabList(std::string_view list) {
  std::vector<std::string> elements;
  size_t start = 0;
  for (size_t tab = list.find('\t'); tab != std::string_view::npos; tab = list.find('\t', start)) {
    elements.emplace_back(list.substr(start, tab - start));
    start = tab + 1;
  }
  return elements;
}

std::vector<TypedAddress> ReadTypedAddressList(std::string_view list) {
  std::vector<std::string> elements = SplitTabList(list);
  const size_t lastTab = list.rfind('\t');
  const std::string_view rest = lastTab == std::string_view::npos ? list : list.substr(lastTab + 1);
  if (!rest.empty()) elements.emplace_back(rest);
  std::vector<TypedAddress> addresses;
  for (const auto& element : elements) {
    if (element.size() <= 2) continue;
    addresses.push_back({element[0] == 'W', element.substr(2)});
  }
  return addresses;
}

std::vector<TypedAddress> ReadTypedAddressList(const CDataItem& item) {
  return ReadTypedAddressList(item.PropertyView("PR_ZEP_EMAIL_ADDRESSES_TYPES"));
}

std::vector<AdditionalPhone> ReadAdditionalPhones(std::string_view numbers, std::string_view codes) {
  const std::vector<std::string> numberList = SplitTabList(numbers);
  const std::vector<std::string> codeList = SplitTabList(codes);
  std::vector<AdditionalPhone> phones;
  for (size_t i = 0; i < std::min(numberList.size(), codeList.size()); ++i) {
    if (numberList[i].empty()) continue;
    const std::string& code = codeList[i];
    phones.push_back({numberList[i], LetterAt(code, 0) == 'W', PhoneKindOf(LetterAt(code, 1)), LetterAt(code, 2) == 'P'});
  }
  return phones;
}

std::vector<AdditionalPhone> ReadAdditionalPhones(const CDataItem& item) {
  return ReadAdditionalPhones(item.PropertyView("PR_ZEP_ADDITIONAL_PHONES_LIST"), item.PropertyView("PR_ZEP_ADDITIONAL_PHONES_ATTR"));
}

std::vector<AdditionalUrl> ReadAdditionalUrls(std::string_view addresses, std::string_view codes) {
  const std::vector<std::string> addressList = SplitTabList(addresses);
  const std::vector<std::string> codeList = SplitTabList(codes);
  std::vector<AdditionalUrl> urls;
  for (size_t i = 0; i < std::min(addressList.size(), codeList.size()); ++i) {
    if (addressList[i].empty()) continue;
    urls.push_back({addressList[i], LetterAt(codeList[i], 0) == 'W'});
  }
  return urls;
}

std::vector<AdditionalUrl> ReadAdditionalUrls(const CDataItem& item) {
  return ReadAdditionalUrls(item.PropertyView("PR_ZEP_ADDITIONAL_URLS_LIST"), item.PropertyView("PR_ZEP_ADDITIONAL_URLS_ATTR"));
}
