// The scripted test server itself: script order, responder, fallback reply, whole request bodies,
// and a prompt stop while a reply is still being delayed.
#include <gtest/gtest.h>

#include "common/CXException.h"
#include "syncml/HttpBuffer.h"
#include "syncml/HttpClient.h"
#include "tests/support/ScriptedSyncServer.h"

namespace {

// Posts `body` to `url`; the reply text, or "status N" for an HTTP error.
std::string PostTo(const std::string& url, const std::string& body) {
  HttpBufferString sink;
  HttpClientOptions options;
  options.timeout = std::chrono::seconds(5);
  HttpClient client(&sink, options);
  client.SetUrl(url);
  try {
    client.Send("POST", body);
  } catch (const CHttpException& error) {
    return "status " + std::to_string(error.Argument().value_or(0));
  }
  return sink.GetText();
}

}  // namespace

TEST(ScriptedSyncServerTest, QueuedRepliesComeFirstThenTheResponderThenA500) {
  ScriptedSyncServer server;
  server.Enqueue(ScriptedReply::SyncMl("first"));
  server.Enqueue(ScriptedReply::SyncMl("second"));
  EXPECT_EQ(server.PendingReplies(), 2u);
  EXPECT_EQ(PostTo(server.Url(), "a"), "first");
  EXPECT_EQ(PostTo(server.Url(), "b"), "second");
  EXPECT_EQ(PostTo(server.Url(), "c"), "status 500");

  server.SetResponder([](const RecordedRequest& request) { return ScriptedReply::SyncMl("echo " + request.body); });
  EXPECT_EQ(PostTo(server.Url(), "d"), "echo d");
  server.Enqueue(ScriptedReply::Status(404));
  EXPECT_EQ(PostTo(server.Url(), "e"), "status 404");
  EXPECT_EQ(PostTo(server.Url(), "f"), "echo f");

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 6u);
  for (std::size_t index = 0; index < requests.size(); ++index) {
    EXPECT_EQ(requests[index].body, std::string(1, static_cast<char>('a' + index)));
  }
  server.Clear();
  EXPECT_EQ(server.RequestCount(), 0u);
}

TEST(ScriptedSyncServerTest, LargeRequestBodiesAreRecordedWhole) {
  ScriptedSyncServer server;
  std::string body(500000, 'b');
  body[499999] = 'z';
  server.Enqueue(ScriptedReply::SyncMl("ok"));
  EXPECT_EQ(PostTo(server.Url("/path?sessionid=3"), body), "ok");
  const RecordedRequest request = server.Requests().at(0);
  EXPECT_EQ(request.body, body);
  EXPECT_EQ(request.target, "/path?sessionid=3");
  EXPECT_EQ(request.version, "HTTP/1.1");
  EXPECT_EQ(request.Header("content-length"), "500000");
}

TEST(ScriptedSyncServerTest, StoppingDuringADelayedReplyDoesNotWaitForTheDelay) {
  const auto started = std::chrono::steady_clock::now();
  {
    ScriptedSyncServer server;
    ScriptedReply slow = ScriptedReply::SyncMl("late");
    slow.delay = std::chrono::minutes(5);
    server.Enqueue(slow);
    HttpBufferString sink;
    HttpClientOptions options;
    options.timeout = std::chrono::seconds(1);
    HttpClient client(&sink, options);
    client.SetUrl(server.Url());
    EXPECT_THROW(client.Send("POST", "x"), HttpTransferError);
    EXPECT_EQ(server.RequestCount(), 1u);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
}
