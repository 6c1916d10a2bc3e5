// The error a store raises when the local application's automation interface refuses a call.
#pragma once

#include <string>

#include "common/CXException.h"

// Raised by a store operation (the Outlook store, when Outlook answers a call with an error) and
// caught by the reply handlers, which log it and stop answering the rest of that server command.
// The message is string 219 filled with the description, so a handler that does not catch it
// still fails the link with a readable text.
class CAutomationException : public CXException {
 public:
  explicit CAutomationException(std::string description);

  // The automation error's own text, as the application gave it.
  const std::string& Description() const { return mDescription; }

 private:
  std::string mDescription;
};
