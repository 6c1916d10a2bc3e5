// Group cards as other address books export them: KIND:group or X-ADDRESSBOOKSERVER-KIND:group,
// the members as MEMBER or X-ADDRESSBOOKSERVER-MEMBER lines naming the UID of a card.
#pragma once

#include <string>
#include <vector>

namespace groupcards {

// The lines of a card's text, unfolded, without their line ends.
std::vector<std::string> CardLines(const std::string& text);
// The name of a content line (before parameters), upper case, without its group prefix.
std::string LineName(const std::string& line);
// What follows the line's first colon.
std::string LineValue(const std::string& line);
// `value` without a leading "urn:uuid:" (any case).
std::string WithoutUrn(std::string value);

bool IsGroupCard(const std::string& text);
// The UIDs the members of a group card name, without "urn:uuid:".
std::vector<std::string> GroupMemberUids(const std::string& text);
// The group card as the list writer reads it: its own UID dropped, each member a "TMP:" reference.
std::string GroupCardText(const std::string& text);

}  // namespace groupcards
