// larkstore wab import and export: vCard files into and out of the address book, through the
// Windows Contacts store's own field rules and the record's vCard writer.
#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/AtomicFile.h"
#include "common/Format.h"
#include "common/Prompt.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "pim/PVCard.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "stores/wab/OutlookExpress.h"
#include "tools/GroupCards.h"
#include "tools/ToolCommands.h"
#include "tools/ToolOutput.h"

namespace {

// Files larger than this are refused rather than read whole.
constexpr std::size_t kMaxImportBytes = std::size_t{64} << 20;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const char a = text[i] >= 'a' && text[i] <= 'z' ? static_cast<char>(text[i] - 32) : text[i];
    if (a != prefix[i]) return false;
  }
  return true;
}

// The cards of a file, each from its BEGIN:VCARD line to the END:VCARD that closes it (cards
// nested in a card stay inside it).
std::vector<std::string> SplitCards(const std::string& text) {
  std::vector<std::string> cards;
  std::string current;
  int depth = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string_view line(text.data() + start, end - start);
    start = end;
    if (StartsWithNoCase(line, "BEGIN:VCARD")) ++depth;
    if (depth > 0) current.append(line);
    if (depth > 0 && StartsWithNoCase(line, "END:VCARD") && --depth == 0) {
      cards.push_back(std::move(current));
      current.clear();
    }
  }
  return cards;
}

// The tool answers no questions: e-mail addresses without a type are typed automatically.
struct ToolStore {
  explicit ToolStore(const WabOpenOptions& options) : conf(std::string()), prompt(std::cerr), store(conf, prompt, options) {
    conf.SetSilent(true);
  }
  CConf conf;
  HeadlessPrompt prompt;
  OutlookExpress store;
};

bool Opened(const OutlookExpress& store) {
  if (store.mInitError == 0) return true;
  PrintTo(stderr, "larkstore wab: %s\n", FormatText(LoadString(store.mInitError), {0}).c_str());
  return false;
}

int Import(const WabOpenOptions& options, const std::string& path) {
  std::string text, error;
  if (!ReadWholeFile(path, text, kMaxImportBytes, &error)) {
    PrintTo(stderr, "larkstore wab: cannot read %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  int failures = 0;
  std::map<std::string, std::string> idOfUid;
  std::vector<std::string> groups;
  {
    ToolStore tool(options);
    if (!Opened(tool.store) || tool.store.LoadAddressBook() != kStoreOk) return 1;
    int number = 0;
    for (const std::string& cardText : SplitCards(text)) {
      ++number;
      if (groupcards::IsGroupCard(cardText)) {
        groups.push_back(cardText);
        continue;
      }
      VCardContext context;
      const PVCardPtr card = Zep3_PVCard_FromStream(&context, cardText);
      std::string id;
      if (!card || tool.store.AddAddressBookItem(*card, id, "", "text/x-vcard") != kStoreOk) {
        PrintTo(stderr, "larkstore wab: card %d of %s could not be imported\n", number, path.c_str());
        ++failures;
        continue;
      }
      if (const PVCardProperty* uid = card->FindProperty(PROPERTY_UID)) idOfUid[groupcards::WithoutUrn(uid->ValueText(0))] = id;
      PrintTo(stdout, "%s\n", id.c_str());
    }
  }
  // Groups after the contacts (the book closed by the store), their members the cards of the file they name.
  for (const std::string& group : groups) {
    std::string name;
    for (const std::string& line : groupcards::CardLines(group)) {
      if (groupcards::LineName(line) == "FN") name = groupcards::LineValue(line);
    }
    std::vector<std::string> members;
    for (const std::string& uid : groupcards::GroupMemberUids(group)) {
      const auto found = idOfUid.find(uid);
      if (found == idOfUid.end()) {
        PrintTo(stderr, "larkstore wab: group member %s is no card of %s, left out\n", uid.c_str(), path.c_str());
        continue;
      }
      members.push_back(found->second);
    }
    if (AddWabGroup(options, name, members) != 0) ++failures;
  }
  return failures == 0 ? 0 : 1;
}

int Export(const WabOpenOptions& options, const std::string& path) {
  ToolStore tool(options);
  if (!Opened(tool.store) || tool.store.LoadAddressBook() != kStoreOk) return 1;
  std::string text;
  for (const CDataItem::Ptr& record : tool.store.mCurrentItems.Items()) text += record->ToVCard();
  if (path.empty()) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  std::string error;
  if (!WriteFileAtomically(path, text, 0600, &error)) {
    PrintTo(stderr, "larkstore wab: cannot write %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int RunWabTransfer(const WabOpenOptions& options, const std::string& command, const std::vector<std::string>& args) {
  if (command == "import" && args.size() == 1) return Import(options, args[0]);
  if (command == "export" && args.size() <= 1) return Export(options, args.empty() ? std::string() : args[0]);
  return -1;
}
