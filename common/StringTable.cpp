// String look-up over the language library and the program's own table.
#include "common/StringTable.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <shared_mutex>

#include "common/StringTable_p.h"
#include "platform/shell/SharedLibrary.h"

namespace {

// The one language library of the process. Look-ups copy the text while holding the shared lock,
// so a library is never unloaded under a reader.
class LanguageSelection {
 public:
  static LanguageSelection& Instance() {
    static LanguageSelection selection;
    return selection;
  }

  bool Load(const std::string& path) {
    std::unique_lock lock(mMutex);
    mFunction = nullptr;
    mLibrary.reset();
    auto library = std::make_unique<SharedLibrary>(path);
    if (!library->IsLoaded()) return false;
    auto function = reinterpret_cast<LanguageStringFunction>(library->Symbol(kLanguageStringSymbol));
    if (function == nullptr) return false;
    mLibrary = std::move(library);
    mFunction = function;
    return true;
  }

  void Free() {
    std::unique_lock lock(mMutex);
    mFunction = nullptr;
    mLibrary.reset();
  }

  std::string Lookup(unsigned id) const {
    std::shared_lock lock(mMutex);
    if (mFunction == nullptr) return {};
    const char* text = mFunction(id);
    return text != nullptr ? std::string(text) : std::string();
  }

 private:
  mutable std::shared_mutex mMutex;
  std::unique_ptr<SharedLibrary> mLibrary;
  LanguageStringFunction mFunction = nullptr;
};

}  // namespace

std::string EnglishString(unsigned id) {
  const auto entries = EnglishStringEntries();
  const auto it = std::lower_bound(entries.begin(), entries.end(), id,
                                   [](const StringEntry& entry, unsigned key) { return entry.id < key; });
  return it != entries.end() && it->id == id ? std::string(it->text) : std::string();
}

std::string LoadString(unsigned id) {
  std::string text = LanguageSelection::Instance().Lookup(id);
  return text.empty() ? EnglishString(id) : text;
}

bool LoadLanguageLibrary(const std::string& path) { return LanguageSelection::Instance().Load(path); }

void FreeLanguageLibrary() { LanguageSelection::Instance().Free(); }
