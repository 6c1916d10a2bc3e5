// larkstore: entry point, dispatching to the subcommand for each local store.
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/ToolCommands.h"

namespace {

int Usage() {
  std::fputs("usage: larkstore outlook <command> [args...]   (object-model profile)\n"
             "       larkstore wab <command> [args...]       (address book)\n"
             "       larkstore <store> help                  (commands of a store)\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  if (argc < 2) return Usage();
  const std::string store = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (store == "outlook") return RunOutlookCommand(args);
  if (store == "wab") return RunWabCommand(args);
  return Usage();
}
