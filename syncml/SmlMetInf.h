// Element structures of the MetInf vocabulary ("syncml:metinf"): what a Meta element carries.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "syncml/SmlText.h"

// <Anchor>: the sync anchors of a database.
struct SmlAnchor {
  SmlText last;
  SmlText next;
  bool operator==(const SmlAnchor&) const = default;
};

// <Mem>: memory of a device or database.
struct SmlMem {
  bool sharedMem = false;  // <SharedMem/>
  SmlText freeMem;
  SmlText freeId;
  bool operator==(const SmlMem&) const = default;
};

// The MetInf elements of one Meta, written in this member order. A <MetInf> wrapper element met
// while reading adds its children to the same structure.
struct SmlMetInf {
  SmlText format;
  SmlText type;
  SmlText mark;
  SmlText size;
  std::optional<SmlAnchor> anchor;
  SmlText version;
  SmlText nextNonce;
  SmlText maxMsgSize;
  SmlText maxObjSize;
  std::vector<std::string> emi;
  std::optional<SmlMem> mem;
  bool operator==(const SmlMetInf&) const = default;
};
