// The home or work type of a contact's e-mail addresses, as both application stores settle it
// when they read their contacts.
#pragma once

#include <string>
#include <vector>

class CConf;
class Prompt;

enum class EmailTypesOutcome {
  Unchanged,  // every address already had its type, or the lists differ in length
  Changed,    // some types were set; the store writes the type list back
  Cancelled,  // the user cancelled the question: the run stops as cancelled by the user
};

// Types each address of `addresses` whose entry in the parallel list `types` is empty. An empty
// address becomes work; the others follow the configured e-mail management mode: personal,
// business, or (always ask) the automatic answer in a silent run or in the link's first
// synchronization (`firstSync`: a first upload of a whole address book is not stopped once per
// contact, and nothing "has been modified" yet), and else the question through `prompt`, whose
// chosen mode becomes the configured one for the rest of the run. Nothing is done when the two
// lists differ in length.
EmailTypesOutcome ResolveEmailTypes(CConf& conf, Prompt& prompt, bool firstSync, const std::string& displayName,
                                    const std::string& nickname, const std::vector<std::string>& addresses,
                                    std::vector<std::string>& types);
