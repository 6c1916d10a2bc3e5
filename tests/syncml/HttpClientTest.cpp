// The HTTP client and its sinks against the scripted server: addresses, header list, exact body,
// statuses, redirects, time-out, refused connections and sink ceilings.
#include <gtest/gtest.h>

#include "common/CXException.h"
#include "syncml/HttpBuffer.h"
#include "syncml/HttpClient.h"
#include "tests/support/ScriptedSyncServer.h"
#include "tests/support/TempDir.h"

namespace {

// Expects `action` to throw CHttpException with `stringId` (and `argument` when given).
template <typename Action>
void ExpectHttpError(Action action, unsigned stringId, std::optional<long long> argument = std::nullopt) {
  try {
    action();
    ADD_FAILURE() << "no CHttpException";
  } catch (const CHttpException& error) {
    EXPECT_EQ(error.StringId(), stringId) << error.Message();
    if (argument) {
      EXPECT_EQ(error.Argument(), argument);
    }
  }
}

// A port of 127.0.0.1 nobody listens on: one the scripted server held and gave back.
int ClosedPort() {
  auto server = std::make_unique<ScriptedSyncServer>();
  const int port = server->Port();
  server.reset();
  return port;
}

class HttpClientTest : public ::testing::Test {
 protected:
  HttpClientOptions Fast() const {
    HttpClientOptions options;
    options.timeout = std::chrono::seconds(1);
    return options;
  }

  ScriptedSyncServer server;
  HttpBufferString sink;
};

}  // namespace

TEST_F(HttpClientTest, SetUrlSplitsTheAddressAndDefaultsThePort) {
  HttpClient client(&sink);
  client.SetUrl("http://sync.example.test/cgi-bin/vudireravaz?x=1");
  EXPECT_EQ(client.ServerName(), "sync.example.test");
  EXPECT_EQ(client.Object(), "/cgi-bin/vudireravaz?x=1");
  EXPECT_EQ(client.Port(), 80);
  EXPECT_FALSE(client.IsHttps());
  client.SetUrl("HTTPS://sync.example.test:8443/");
  EXPECT_EQ(client.Port(), 8443);
  EXPECT_TRUE(client.IsHttps());
  client.SetUrl("https://sync.example.test");
  EXPECT_EQ(client.Port(), 443);
}

TEST_F(HttpClientTest, SetUrlRefusesOtherSchemesAndUnparseableAddresses) {
  HttpClient client(&sink);
  for (const char* url : {"ftp://sync.example.test/", "sync.example.test/cgi-bin", "", "http://", "http://exa mple/",
                          "file:///etc/passwd"}) {
    SCOPED_TRACE(url);
    ExpectHttpError([&] { client.SetUrl(url); }, 236);
  }
}

TEST_F(HttpClientTest, SendWithoutAnAddressIsAnIncorrectAddress) {
  HttpClient client(&sink);
  ExpectHttpError([&] { client.Send("POST", "x"); }, 236);
}

TEST_F(HttpClientTest, AHeaderNameAlreadyListedIsNotSentAgain) {
  server.Enqueue(ScriptedReply::SyncMl("ok"));
  HttpClient client(&sink, Fast());
  client.SetUrl(server.Url());
  client.AddHeader("Cache-Control: no-store");
  client.AddHeader("cache-control: private");
  client.AddHeader("X-Trace: 1");
  client.Send("POST", "body");
  const RecordedRequest request = server.Requests().at(0);
  EXPECT_EQ(request.HeaderValues("Cache-Control"), std::vector<std::string>{"no-store"});
  EXPECT_EQ(request.Header("X-Trace"), "1");
  EXPECT_EQ(request.Header("User-Agent"), "Sync Client");
  EXPECT_FALSE(request.Header("Expect").has_value());
}

TEST_F(HttpClientTest, HeaderLinesThatCouldSmuggleHeadersAreRefused) {
  HttpClient client(&sink);
  EXPECT_THROW(client.AddHeader("X-A: 1\r\nX-B: 2"), std::invalid_argument);
  EXPECT_THROW(client.AddHeader("no colon here"), std::invalid_argument);
  EXPECT_THROW(client.AddHeader(": value"), std::invalid_argument);
}

TEST_F(HttpClientTest, TheBodyArrivesByteForByteAndTheReplyGoesToTheSink) {
  const std::string body("<SyncML>\0\xC3\xA9\r\n</SyncML>", 22);
  std::string large(300000, 'r');
  large[1234] = '\0';
  server.Enqueue(ScriptedReply::SyncMl(large, "application/vnd.syncml+xml; charset=UTF-8"));
  HttpClient client(&sink, Fast());
  client.SetUrl(server.Url());
  client.Send("POST", body);
  const RecordedRequest request = server.Requests().at(0);
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/cgi-bin/vudireravaz");
  EXPECT_EQ(request.body, body);
  EXPECT_EQ(client.StatusCode(), 200);
  EXPECT_EQ(client.ContentType(), "application/vnd.syncml+xml; charset=UTF-8");
  EXPECT_EQ(client.ContentLength(), 300000);
  EXPECT_EQ(sink.GetText(), large);
}

TEST_F(HttpClientTest, AStatusOtherThan200IsHttpErrorWithTheStatusAndNoBody) {
  for (int status : {401, 404, 500}) {
    SCOPED_TRACE(status);
    server.Enqueue(ScriptedReply::Status(status, "not for the sink"));
    HttpClient client(&sink, Fast());
    client.SetUrl(server.Url());
    ExpectHttpError([&] { client.Send("POST", "m"); }, 115, status);
    EXPECT_EQ(client.StatusCode(), status);
  }
  EXPECT_EQ(sink.GetText(), "");
}

TEST_F(HttpClientTest, ARedirectResendsTheSameRequestToTheLocation) {
  server.Enqueue(ScriptedReply::Redirect(302, server.Url("/moved?sessionid=7")));
  server.Enqueue(ScriptedReply::Redirect(301, "/relative/again"));
  server.Enqueue(ScriptedReply::SyncMl("reply"));
  HttpClient client(&sink, Fast());
  client.SetUrl(server.Url());
  client.Send("POST", "the message");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[1].target, "/moved?sessionid=7");
  EXPECT_EQ(requests[2].target, "/relative/again");
  for (const RecordedRequest& request : requests) {
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.body, "the message");
  }
  EXPECT_EQ(sink.GetText(), "reply");
  EXPECT_EQ(client.Url(), server.Url("/relative/again"));
}

TEST_F(HttpClientTest, ARedirectWithoutLocationIsHttpError) {
  server.Enqueue(ScriptedReply::Redirect(302, std::nullopt));
  HttpClient client(&sink, Fast());
  client.SetUrl(server.Url());
  ExpectHttpError([&] { client.Send("POST", "m"); }, 115, 302);
  EXPECT_EQ(server.RequestCount(), 1u);
}

TEST_F(HttpClientTest, ARedirectLoopEndsAfterTenRedirects) {
  server.SetResponder([&](const RecordedRequest&) { return ScriptedReply::Redirect(302, server.Url("/loop")); });
  HttpClient client(&sink, Fast());
  client.SetUrl(server.Url());
  ExpectHttpError([&] { client.Send("POST", "m"); }, 115, 302);
  EXPECT_EQ(server.RequestCount(), 11u);  // the first request and ten redirects
}

TEST_F(HttpClientTest, ARedirectToAnAddressThatIsNotHttpIsAnIncorrectAddress) {
  server.Enqueue(ScriptedReply::Redirect(302, "ftp://127.0.0.1/file"));
  HttpClient client(&sink, Fast());
  client.SetUrl(server.Url());
  ExpectHttpError([&] { client.Send("POST", "m"); }, 236);
  EXPECT_EQ(server.RequestCount(), 1u);
}

TEST_F(HttpClientTest, NoAnswerWithinTheTimeOutIsATimeOut) {
  ScriptedReply slow = ScriptedReply::SyncMl("late");
  slow.delay = std::chrono::milliseconds(4000);
  server.Enqueue(slow);
  HttpClient client(&sink, Fast());
  client.SetUrl(server.Url());
  const auto started = std::chrono::steady_clock::now();
  try {
    client.Send("POST", "m");
    ADD_FAILURE() << "no time-out";
  } catch (const HttpTransferError& error) {
    EXPECT_TRUE(error.TimedOut()) << error.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(3500));
}

TEST_F(HttpClientTest, ARefusedOrDroppedConnectionIsATransferErrorThatIsNoTimeOut) {
  HttpClient client(&sink, Fast());
  client.SetUrl("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/");
  try {
    client.Send("POST", "m");
    ADD_FAILURE() << "no error";
  } catch (const HttpTransferError& error) {
    EXPECT_FALSE(error.TimedOut());
    EXPECT_TRUE(error.NothingSent());
    EXPECT_NE(std::string(error.what()).find("curl error 7"), std::string::npos) << error.what();
  }
  // The request reached the server, which then dropped the connection.
  server.Enqueue(ScriptedReply::Close());
  client.SetUrl(server.Url());
  try {
    client.Send("POST", "m");
    ADD_FAILURE() << "no error";
  } catch (const HttpTransferError& error) {
    EXPECT_FALSE(error.NothingSent()) << error.what();
  }
}

TEST_F(HttpClientTest, AReplyAboveTheSinkCeilingIsRefusedKeepingNoPartOfTheChunk) {
  HttpBufferString small(1000);
  server.Enqueue(ScriptedReply::SyncMl(std::string(5000, 'x')));
  HttpClient client(&small, Fast());
  client.SetUrl(server.Url());
  EXPECT_THROW(client.Send("POST", "m"), HttpSinkError);
  EXPECT_LE(small.GetText().size(), 1000u);
}

TEST_F(HttpClientTest, GetWritesTheBodyIntoAFileSink) {
  TempDir dir;
  const std::string package(70000, 'p');
  server.Enqueue(ScriptedReply::SyncMl(package, "application/octet-stream"));
  {
    HttpBufferFile file(dir.File("package.msi"));
    HttpClient client(&file, Fast());
    client.SetUrl(server.Url("/Tarnwell_Sync_Installer.msi"));
    client.Send("GET", "");
    file.Close();
    EXPECT_EQ(file.Written(), package.size());
  }
  EXPECT_EQ(server.Requests().at(0).method, "GET");
  EXPECT_EQ(ReadFileBytes(dir.File("package.msi")), package);
}

TEST_F(HttpClientTest, EachSendUsesItsOwnVerbOnTheSameClient) {
  server.SetResponder([](const RecordedRequest&) { return ScriptedReply::SyncMl("ok"); });
  HttpClient client(&sink, Fast());
  client.SetUrl(server.Url());
  client.Send("PUT", "put body");
  client.Send("GET", "ignored");
  client.Send("POST", "");
  EXPECT_THROW(client.Send("DELETE", ""), std::invalid_argument);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].method, "PUT");
  EXPECT_EQ(requests[0].body, "put body");
  EXPECT_EQ(requests[1].method, "GET");
  EXPECT_EQ(requests[1].body, "");
  EXPECT_EQ(requests[2].method, "POST");
  EXPECT_EQ(requests[2].Header("Content-Length"), "0");
}

TEST(HttpBufferTest, StringSinkIgnoresNullChunksAndKeepsEarlierTextWhenTheCeilingIsHit) {
  HttpBufferString sink(10);
  sink.Append(nullptr, 5);
  sink.Append("abc\0d", 5);
  EXPECT_THROW(sink.Append("0123456789", 10), HttpSinkError);
  EXPECT_EQ(sink.GetText(), std::string("abc\0d", 5));
  sink.Append("12345", 5);  // exactly the ceiling is allowed
  EXPECT_EQ(sink.TakeText().size(), 10u);
  EXPECT_EQ(sink.GetText(), "");
}

TEST(HttpBufferTest, FileSinkTruncatesAtConstructionAndReportsFailures) {
  TempDir dir;
  WriteFileBytes(dir.File("old"), "previous content");
  {
    HttpBufferFile file(dir.File("old"), 8);
    EXPECT_EQ(ReadFileBytes(dir.File("old")), "");
    file.Append("1234", 4);
    EXPECT_THROW(file.Append("56789", 5), HttpSinkError);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_THROW(file.Append("x", 1), HttpSinkError);
  }
  EXPECT_EQ(ReadFileBytes(dir.File("old")), "1234");
  EXPECT_THROW(HttpBufferFile(dir.File("missing-folder/file")), HttpSinkError);
}
