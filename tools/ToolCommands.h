// Subcommands of the larkstore tool: each takes the arguments after its name and returns the
// process exit status (0 success, 1 failure, 2 wrong usage), writing results to stdout and
// errors to stderr.
#pragma once

#include <string>
#include <vector>

int RunOutlookCommand(const std::vector<std::string>& args);
int RunWabCommand(const std::vector<std::string>& args);

struct WabOpenOptions;
// larkstore wab import FILE.vcf / export [FILE.vcf] over the book `options` names; -1 when
// `command` with `args` is not one of them.
int RunWabTransfer(const WabOpenOptions& options, const std::string& command, const std::vector<std::string>& args);
// Adds a group (distribution list) named `name` of the contacts `memberIds` (identifiers as the
// address-book store gives them) to the book `options` names and prints its identifier; 0, or 1
// with the error printed.
int AddWabGroup(const WabOpenOptions& options, const std::string& name, const std::vector<std::string>& memberIds);
