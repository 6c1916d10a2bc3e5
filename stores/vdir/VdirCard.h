// One contact or contact group as the vdir store keeps it: a vCard 3.0 text, whatever version it
// was read in.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stores/vdir/ItemLines.h"

// A value type. Reading converts the card to vCard 3.0 and keeps every property:
// - vCard 2.1: quoted-printable and character sets decoded to UTF-8, values escaped as 3.0 text
//   (components of N, ADR and ORG kept apart; list values of CATEGORIES and NICKNAME kept as
//   lists), parameters without a name become TYPE (or ENCODING for a transfer word), BASE64
//   becomes ENCODING=b, VALUE=URL becomes VALUE=uri;
// - vCard 4.0: KIND:group and MEMBER become X-ADDRESSBOOKSERVER-KIND and -MEMBER (what 3.0 readers
//   know), PREF becomes TYPE=PREF, a "tel:" URI a plain number, an embedded "data:" URI base64
//   with its type;
// - vCard 3.0 stays as it is, except for lines that carry a CHARSET or quoted-printable anyway.
// Unknown and extension properties, groups ("item1.") and parameters stay as they are.
class VdirCard {
 public:
  static constexpr std::string_view kGroupKind = "X-ADDRESSBOOKSERVER-KIND";
  static constexpr std::string_view kGroupMember = "X-ADDRESSBOOKSERVER-MEMBER";

  // The first card of `text`; nullopt when it holds no BEGIN:VCARD line.
  static std::optional<VdirCard> Read(std::string_view text);
  // A contact group card: its name, note (when given), members by UID, own UID.
  static VdirCard Group(const std::string& name, const std::optional<std::string>& note,
                        const std::vector<std::string>& memberUids, const std::string& uid);

  // The version the text was read in: "2.1", "3.0", "4.0" (or what its VERSION line said).
  const std::string& SourceVersion() const { return mSourceVersion; }
  // The lines between BEGIN:VCARD and END:VCARD, VERSION first.
  const std::vector<ItemLine>& Lines() const { return mLines; }

  // The UID (unescaped); "" when the card has none.
  std::string Uid() const;
  // Replaces the UID, or adds one after VERSION.
  void SetUid(const std::string& uid);
  // A group card (X-ADDRESSBOOKSERVER-KIND or KIND "group").
  bool IsGroup() const;
  // The members' UIDs ("urn:uuid:" taken off), in card order.
  std::vector<std::string> MemberUids() const;
  // Gives a card without FN (which vCard 3.0 requires) one made of N's given and family names,
  // else ORG, else NICKNAME, else the first EMAIL; false when the card has an FN already or
  // nothing to make one of.
  bool CompleteFormattedName();

  // The card's vCard 3.0 text, CR LF line ends.
  std::string Text() const;

 private:
  void ConvertLine(ItemLine& line) const;

  std::string mSourceVersion;
  std::vector<ItemLine> mLines;
};
