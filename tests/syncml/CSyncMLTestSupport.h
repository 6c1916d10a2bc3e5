// Helpers for the session tests: a scripted transport, server replies written as XML, the client's
// messages decoded back into structures, and a fixture with a configuration and a test store.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/CXException.h"
#include "common/Prompt.h"
#include "common/StringIds.h"
#include "config/CConf.h"
#include "engine/StoreItemSink.h"
#include "syncml/CSyncML.h"
#include "syncml/SyncTransport.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestStore.h"

// Answers each Post with the next queued reply, then with the responder; records what was posted.
// A Post with nothing to answer fails with CHttpException 115 (500).
class ScriptedTransport final : public SyncTransport {
 public:
  struct Posted {
    std::string url;
    std::string body;
  };
  using Responder = std::function<std::string(const std::string& request)>;

  void Reply(std::string body) { mReplies.push_back(std::move(body)); }
  void SetResponder(Responder responder) { mResponder = std::move(responder); }
  const std::vector<Posted>& PostedMessages() const { return mPosted; }

  std::string Post(const std::string& url, const std::string& message) override;

 private:
  std::deque<std::string> mReplies;
  Responder mResponder;
  std::vector<Posted> mPosted;
};

// The string id of the `Exception` that `action` throws; 0 when it throws none.
template <class Exception>
unsigned ThrownStringId(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& error) {
    return error.StringId();
  }
  return 0;
}

inline void PrintTo(const ConflictField& field, std::ostream* out) {
  *out << "{" << field.key << ", \"" << field.local << "\", \"" << field.server << "\"}";
}

// Gives scripted answers and records the questions.
class RecordingPrompt final : public Prompt {
 public:
  PromptAnswer Message(std::string_view text, PromptButtons, PromptKind) override {
    messages.emplace_back(text);
    return messageAnswer;
  }
  bool AskLogin(LoginRequest&) override { return false; }
  ConflictAnswer AskConflict(const ConflictQuestion& question) override {
    conflicts.push_back(question);
    return conflictAnswer;
  }

  PromptAnswer messageAnswer = PromptAnswer::Ok;
  ConflictAnswer conflictAnswer = ConflictAnswer::Both;
  std::vector<std::string> messages;
  std::vector<ConflictQuestion> conflicts;
};

// One item of a server command; absent parts are not written. Data goes into CDATA.
struct ItemSpec {
  std::optional<std::string> source;
  std::optional<std::string> target;
  std::optional<std::string> type;
  std::optional<std::string> data;
};

// A server message: header with `msgId` (and `respUri` when not empty), `body`, Final.
std::string ServerMessage(int msgId, const std::string& body, const std::string& respUri = "");
std::string StatusXml(int cmdId, const std::string& cmdRef, const std::string& cmd, const std::string& code,
                      const std::string& sourceRef = "", const std::string& targetRef = "");
std::string ItemXml(const ItemSpec& item);
// Add, Replace or Delete; `commandType` gives the command a Meta Type of its own.
std::string ItemCommandXml(const std::string& name, int cmdId, const std::string& items, const std::string& commandType = "");
std::string SyncXml(int cmdId, const std::string& commands);
std::string AlertXml(int cmdId, const std::string& code, const std::string& itemData = "");
std::string GetXml(int cmdId, const std::string& uri);
// A vCard 2.1 contact with CR LF line ends: N and FN when `formattedName` is set, NICKNAME when
// `nickname` is.
std::string VCardText(const std::string& formattedName, const std::string& nickname = "");
std::string VEventText(const std::string& summary);

// One command of a client message as decoded; `name` says which member holds it.
struct ClientCommand {
  std::string name;
  bool inSync = false;
  std::string cmdId;
  SmlSync sync;
  SmlAlert alert;
  SmlItemCommand item;
  SmlStatus status;
  SmlMap map;
  SmlGet get;
  SmlPut put;
  SmlResults results;
};

struct ClientMessage {
  SmlSyncHdr header;
  std::vector<ClientCommand> commands;
  bool final = false;

  std::vector<ClientCommand> Named(const std::string& name) const;
  // Names in document order ("Status", "Sync", "Add", ...).
  std::vector<std::string> Names() const;
};

// Decodes a message the session wrote; a decoding failure fails the test.
ClientMessage DecodeClientMessage(const std::string& xml);

// What the sync driver gives a session: the transport (HTTP from the settings when null), the
// sink, the prompt, the configuration's cancel flag (read live) and its policies.
SessionServices TestSessionServices(CConf& conf, ItemSink* sink, std::unique_ptr<SyncTransport> transport = nullptr,
                                    Prompt* prompt = nullptr);

// A configuration in a temporary folder (login "user", password "secret", identity
// "client-identity", url of a server that is never reached), a test store and sessions on a
// scripted transport.
class SessionFixture : public ::testing::Test {
 protected:
  SessionFixture();
  ~SessionFixture() override;

  // A session on the contacts link ("./contacts" <- "Contacts"); `wire` points at its transport.
  std::unique_ptr<CSyncML> MakeSession(long lastAnchor = 7, CDatabaseObject* store = nullptr, Prompt* prompt = nullptr);
  // The same over `transport` (null: HTTP from the settings), with `store` behind its sink.
  std::unique_ptr<CSyncML> MakeSessionOver(std::unique_ptr<SyncTransport> transport, long lastAnchor,
                                           CDatabaseObject* store, Prompt* prompt = nullptr);
  // Finalizes the message, posts it and parses `reply`; returns the message that was sent.
  ClientMessage Exchange(CSyncML& session, const std::string& reply);
  // The message the handlers started, finalized and decoded.
  ClientMessage NextMessage(CSyncML& session);
  std::string LogText() const;

  TempDir mDir;
  CConf mConf{mDir.Path()};
  TestStore mStore{mConf};
  ScriptedTransport* wire = nullptr;

 private:
  // The sinks of the sessions made; they outlive the sessions.
  std::vector<std::unique_ptr<StoreItemSink>> mSinks;
};
