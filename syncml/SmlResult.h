// Result codes of the SyncML message codec: every codec operation returns one 16-bit value.
#pragma once

#include <cstdint>

using SmlRet = std::uint16_t;

// Numbers stay stable; new codes are added at the end. The codec's own failures live above 0x1000
// so that no code a handler returns (the session's cancel code 16 above all) is taken for one.
enum SmlResultCode : SmlRet {
  SML_OK = 0,
  // What the session's handlers return when the user cancels. The codec never returns it on its
  // own: ProcessData hands back whatever non-zero code a handler returned.
  SML_CANCEL = 16,
  SML_ERR_NOT_HANDLED = 0x1001,         // an element arrived for which no handler is registered
  SML_ERR_BUFFER_FULL = 0x1002,         // the workspace has no room left for what is written
  SML_ERR_OUT_OF_MEMORY = 0x1003,       // the workspace budget is spent or an allocation failed
  SML_ERR_MALFORMED = 0x1004,           // the input is not well-formed XML
  SML_ERR_UNEXPECTED_CONTENT = 0x1005,  // an element or text not allowed where it stands, or repeated
  SML_ERR_MISSING_ELEMENT = 0x1006,     // a required child element is absent
  SML_ERR_BAD_NAMESPACE = 0x1007,       // a namespace outside the accepted set, or an undeclared prefix
  SML_ERR_LIMIT_EXCEEDED = 0x1008,      // nesting depth, element count or attribute count too high
  SML_ERR_WRONG_STATE = 0x1009,         // called out of order (a command with no message started, ...)
  SML_ERR_BUFFER_LOCKED = 0x100A,       // the buffer concerned is locked
  SML_ERR_INVALID_HANDLE = 0x100B,      // no instance has this handle
  SML_ERR_INVALID_ARGUMENT = 0x100C,    // an argument is out of range (size 0, length too large, ...)
};

// A short English name of `code` for logs and test messages ("SML_ERR_MALFORMED"); codes the
// codec does not define (a handler's own stop codes) give "handler code".
const char* SmlResultName(SmlRet code);
