// The program's exception family: each carries a string-table identifier, an optional numeric
// argument and the message formatted from them in the current language, or a text given directly.
#pragma once

#include <exception>
#include <optional>
#include <string>

class CXException : public std::exception {
 public:
  // Message = the identifier's text (unformatted).
  explicit CXException(unsigned stringId);
  // Message = the identifier's text formatted with `argument` (its one printf conversion).
  CXException(unsigned stringId, long long argument);
  // Message given directly; the identifier is 0.
  explicit CXException(std::string message);

  unsigned StringId() const { return mStringId; }
  const std::optional<long long>& Argument() const { return mArgument; }
  const std::string& Message() const { return mMessage; }
  const char* what() const noexcept override { return mMessage.c_str(); }

 private:
  unsigned mStringId = 0;
  std::optional<long long> mArgument;
  std::string mMessage;
};

// Sync session driver and application shell.
class CMainException : public CXException {
 public:
  using CXException::CXException;
};

// SyncML session and reply handlers.
class CSyncmlException : public CXException {
 public:
  using CXException::CXException;
};

// HTTP transport.
class CHttpException : public CXException {
 public:
  using CXException::CXException;
};

// An HTTP exchange that failed before any of the request left (no connection, no TLS session):
// the server cannot have seen the message.
class CHttpNotSentException : public CHttpException {
 public:
  using CHttpException::CHttpException;
};

// Outlook store adapter.
class COutlookException : public CXException {
 public:
  using CXException::CXException;
};

// Raised by a store operation when the local application's automation interface refuses a call
// (the Outlook store, when Outlook answers with an error), and caught by the reply handlers, which
// log it and stop answering the rest of that server command. The message is string 219 filled
// with the description, so a handler that does not catch it still fails the link with a readable
// text.
class CAutomationException : public CXException {
 public:
  explicit CAutomationException(std::string description);

  // The automation error's own text, as the application gave it.
  const std::string& Description() const { return mDescription; }

 private:
  std::string mDescription;
};

// Item lists and their index files.
class CDataItemListException : public CXException {
 public:
  using CXException::CXException;
};

// Update check and download.
class CUpdaterException : public CXException {
 public:
  using CXException::CXException;
};
