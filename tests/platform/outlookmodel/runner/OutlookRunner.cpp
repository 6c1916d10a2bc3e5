// Test helper: "outlookmodel_runner ARGS..." runs "larkstore outlook ARGS..."; "outlookmodel_runner
// --churn ENTRYID" saves the contact again and again, each time with every text field set to the
// same new generation number, until it is killed.
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/automation/OutlookDispatch.h"
#include "platform/outlookmodel/ItemSchema.h"
#include "platform/outlookmodel/OutlookModel.h"
#include "tools/ToolCommands.h"

namespace {

int Churn(const std::string& entryId) {
  const outlook::Application application(outlookmodel::MakeDefaultObjectFactory().CreateObject("Outlook.Application"));
  const outlook::NameSpace session = application.GetNamespace("MAPI");
  const std::string padding(64 * 1024, 'x');
  for (int generation = 1;; ++generation) {
    const outlook::ContactItem contact(session.GetItemFromID(entryId, ""));
    for (const outlookmodel::PropertyDef& property : outlookmodel::PropertiesOf(outlookmodel::ItemKind::Contact)) {
      if (property.type != VariantType::String) continue;
      const std::string value = std::to_string(generation) + (property.id == OutlookId::kBody ? padding : "");
      contact.Put(property.id, value);
    }
    contact.Save();
    std::printf("%d\n", generation);
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 2 && args[0] == "--churn") return Churn(args[1]);
  return RunOutlookCommand(args);
}
