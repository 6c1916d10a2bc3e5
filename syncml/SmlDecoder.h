// Decoding of one incoming SyncML message into element structures handed to handlers.
#pragma once

#include <cstddef>
#include <string_view>

#include "syncml/SmlHandlers.h"
#include "syncml/SmlResult.h"

// Ceilings that keep hostile input from exhausting stack or memory: the input itself is bounded
// by the instance's workspace.
inline constexpr std::size_t kSmlMaxDepth = 40;  // elements open at once
inline constexpr std::size_t kSmlMaxElementsPerPart = 100000;  // elements of one header or command

// Decodes `message` (one SyncML document) and calls the handlers in document order with
// `userContext`. Returns SML_OK; the first decoding error (SML_ERR_MALFORMED,
// SML_ERR_UNEXPECTED_CONTENT, SML_ERR_MISSING_ELEMENT, SML_ERR_BAD_NAMESPACE,
// SML_ERR_LIMIT_EXCEEDED, SML_ERR_NOT_HANDLED); or the first non-zero handler result. Handlers
// that already ran keep their effects. Reading rules: the prolog's declaration, comments,
// processing instructions and DOCTYPE are skipped; namespace prefixes are resolved and every
// namespace must be one of the accepted ones; text has its entities and character references
// decoded, CDATA is delivered without its markers, and a leaf whose content begins with markup
// gets that content verbatim (except MetInf in a Meta and a DevInf in a Data, which are decoded).
// Children may come in any order; a repeated single child is an error. Throws std::bad_alloc
// when memory runs out, and passes on whatever a handler throws.
SmlRet SmlDecodeMessage(std::string_view message, const SmlHandlers& handlers, void* userContext);
