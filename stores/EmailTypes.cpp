#include "stores/EmailTypes.h"

#include "common/Prompt.h"
#include "config/CConf.h"

namespace {

// The pass that needs no question: true when every address got its type.
bool TypeByMode(int mode, const std::vector<std::string>& addresses, std::vector<std::string>& types) {
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    if (!types[i].empty()) continue;
    if (addresses[i].empty()) {
      types[i] = kEmailTypeWork;
    } else if (mode == EMAIL_UNKNOWN_PERSONAL) {
      types[i] = kEmailTypeHome;
    } else if (mode == EMAIL_UNKNOWN_BUSINESS) {
      types[i] = kEmailTypeWork;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

EmailTypesOutcome ResolveEmailTypes(CConf& conf, Prompt& prompt, bool firstSync, const std::string& displayName,
                                    const std::string& nickname, const std::vector<std::string>& addresses,
                                    std::vector<std::string>& types) {
  if (addresses.size() != types.size()) return EmailTypesOutcome::Unchanged;
  const std::vector<std::string> before = types;
  if (!TypeByMode(conf.EmailManagementMode(), addresses, types)) {
    const EmailTypesQuestion question{displayName, nickname, addresses, types};
    if (conf.Silent() || firstSync) {
      types = AutomaticEmailTypes(question).types;
    } else {
      const std::optional<EmailTypesAnswer> answer = prompt.AskEmailTypes(question);
      if (!answer) {
        types = before;
        return EmailTypesOutcome::Cancelled;
      }
      if (answer->types.size() == types.size()) types = answer->types;
      conf.SetEmailManagementMode(answer->mode);
    }
  }
  return types == before ? EmailTypesOutcome::Unchanged : EmailTypesOutcome::Changed;
}
