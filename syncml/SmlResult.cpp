// Names of the codec's result codes.
#include "syncml/SmlResult.h"

const char* SmlResultName(SmlRet code) {
  switch (code) {
    case SML_OK: return "SML_OK";
    case SML_CANCEL: return "SML_CANCEL";
    case SML_ERR_NOT_HANDLED: return "SML_ERR_NOT_HANDLED";
    case SML_ERR_BUFFER_FULL: return "SML_ERR_BUFFER_FULL";
    case SML_ERR_OUT_OF_MEMORY: return "SML_ERR_OUT_OF_MEMORY";
    case SML_ERR_MALFORMED: return "SML_ERR_MALFORMED";
    case SML_ERR_UNEXPECTED_CONTENT: return "SML_ERR_UNEXPECTED_CONTENT";
    case SML_ERR_MISSING_ELEMENT: return "SML_ERR_MISSING_ELEMENT";
    case SML_ERR_BAD_NAMESPACE: return "SML_ERR_BAD_NAMESPACE";
    case SML_ERR_LIMIT_EXCEEDED: return "SML_ERR_LIMIT_EXCEEDED";
    case SML_ERR_WRONG_STATE: return "SML_ERR_WRONG_STATE";
    case SML_ERR_BUFFER_LOCKED: return "SML_ERR_BUFFER_LOCKED";
    case SML_ERR_INVALID_HANDLE: return "SML_ERR_INVALID_HANDLE";
    case SML_ERR_INVALID_ARGUMENT: return "SML_ERR_INVALID_ARGUMENT";
    default: return "handler code";
  }
}
