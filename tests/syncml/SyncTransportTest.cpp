// Posting a SyncML message: request headers, content-type check, the error mapping the session
// sees, the log of the exchange with its credentials masked, and the masking itself.
#include <gtest/gtest.h>

#include "common/CXException.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "syncml/SyncTransport.h"
#include "tests/support/ScriptedSyncServer.h"
#include "tests/support/TempDir.h"

namespace {

constexpr const char* kReply = "<SyncML><SyncHdr/><SyncBody><Final/></SyncBody></SyncML>";

// A message as the encoder writes it, with basic credentials for "anna" / "s3cr3t!".
std::string MessageWithCredentials() {
  return "<SyncML xmlns=\"SYNCML:SYNCML1.1\"><SyncHdr><VerDTD>1.1</VerDTD><SessionID>12</SessionID>"
         "<Cred><Meta><Format xmlns=\"syncml:metinf\">b64</Format><Type xmlns=\"syncml:metinf\">syncml:auth-basic"
         "</Type></Meta><Data>YW5uYTpzM2NyM3Qh</Data></Cred></SyncHdr><SyncBody><Final/></SyncBody></SyncML>";
}

class SyncTransportTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(CLog::Instance().Open(dir.File("Sync.log"), LOG_DEBUG)); }
  void TearDown() override { CLog::Instance().Close(); }

  HttpSyncTransport Transport(std::string mime = std::string(kSyncMlMimeDefault)) const {
    SyncTransportOptions options;
    options.timeout = std::chrono::seconds(1);
    options.requestMime = std::move(mime);
    return HttpSyncTransport(options);
  }

  // The CHttpException `Post` throws, or a failure.
  CHttpException PostFailure(HttpSyncTransport transport, const std::string& url = {}) {
    try {
      transport.Post(url.empty() ? server.Url() : url, "<SyncML/>");
    } catch (const CHttpException& error) {
      return error;
    }
    ADD_FAILURE() << "Post did not fail";
    return CHttpException(0u);
  }

  std::string Log() const { return ReadFileBytes(dir.File("Sync.log")); }

  TempDir dir;
  ScriptedSyncServer server;
};

}  // namespace

TEST_F(SyncTransportTest, PostsTheMessageWithTheSyncMlHeadersAndReturnsTheReply) {
  server.Enqueue(ScriptedReply::SyncMl(kReply));
  EXPECT_EQ(Transport().Post(server.Url(), MessageWithCredentials()), kReply);
  const RecordedRequest request = server.Requests().at(0);
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/cgi-bin/vudireravaz");
  EXPECT_EQ(request.body, MessageWithCredentials());
  EXPECT_EQ(request.Header("Content-Type"), "application/vnd.syncml+xml; charset=\"utf-8\"");
  EXPECT_EQ(request.Header("Accept"), "application/vnd.syncml+xml");
  EXPECT_EQ(request.HeaderValues("Cache-Control"), std::vector<std::string>{"no-store"});
}

TEST_F(SyncTransportTest, TheRequestTypeComesFromSyncMimeAndAMalformedOneFallsBackToTheDefault) {
  TempDir configFolder;
  CConf conf(configFolder.Path());
  conf.SetSyncMime("application/vnd.syncml-xml");
  server.SetResponder([](const RecordedRequest&) { return ScriptedReply::SyncMl(kReply); });
  MakeHttpSyncTransport(conf)->Post(server.Url(), "<SyncML/>");
  Transport("application/vnd.syncml-xml; charset=x").Post(server.Url(), "<SyncML/>");
  Transport("text/xml\r\nX-Injected: 1").Post(server.Url(), "<SyncML/>");
  Transport("").Post(server.Url(), "<SyncML/>");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].Header("Content-Type"), "application/vnd.syncml-xml; charset=\"utf-8\"");
  EXPECT_EQ(requests[0].Header("Accept"), "application/vnd.syncml-xml");
  EXPECT_EQ(requests[1].Header("Content-Type"), "application/vnd.syncml-xml; charset=\"utf-8\"");
  EXPECT_EQ(requests[2].Header("Content-Type"), "application/vnd.syncml+xml; charset=\"utf-8\"");
  EXPECT_FALSE(requests[2].Header("X-Injected").has_value());
  EXPECT_EQ(requests[3].Header("Accept"), "application/vnd.syncml+xml");
}

// A server that refuses one spelling of the SyncML type with an HTTP error is sent the same
// message once more with the other; the one that works is used from then on and told.
TEST_F(SyncTransportTest, ARefusedRequestTypeIsTriedOnceWithTheOtherSpellingAndKeptWhenItWorks) {
  struct Case {
    const char* name;
    std::string first;      // the type configured
    std::string accepted;   // the type the server takes ("" none)
    int refusal;            // the status it refuses others with
    std::size_t requests;   // of the first Post
    std::string told;       // the type reported as working ("" none)
    bool succeeds;
  };
  const Case cases[] = {
      {"registered refused", "application/vnd.syncml+xml", "application/vnd.syncml-xml", 500, 2, "application/vnd.syncml-xml", true},
      {"older refused", "application/vnd.syncml-xml", "application/vnd.syncml+xml", 415, 2, "application/vnd.syncml+xml", true},
      {"both refused: the first refusal is the error", "application/vnd.syncml+xml", "", 500, 2, "", false},
      {"a refused login says nothing of the type", "application/vnd.syncml+xml", "application/vnd.syncml-xml", 401, 1, "", false},
      {"an unknown address neither", "application/vnd.syncml+xml", "application/vnd.syncml-xml", 404, 1, "", false},
      {"a type of its own is honoured", "text/x-own", "application/vnd.syncml+xml", 500, 1, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedSyncServer refusing;
    refusing.SetResponder([&c](const RecordedRequest& request) {
      const std::string type = request.Header("Content-Type").value_or("");
      if (!c.accepted.empty() && type.rfind(c.accepted, 0) == 0) return ScriptedReply::SyncMl(kReply);
      return ScriptedReply::Status(c.refusal, "refused");
    });
    SyncTransportOptions options;
    options.timeout = std::chrono::seconds(5);
    options.requestMime = c.first;
    std::vector<std::string> told;
    options.requestTypeWorked = [&told](const std::string& type) { told.push_back(type); };
    HttpSyncTransport transport(options);
    if (c.succeeds) {
      EXPECT_EQ(transport.Post(refusing.Url(), "<SyncML>first</SyncML>"), kReply);
    } else {
      EXPECT_THROW(
          try { transport.Post(refusing.Url(), "<SyncML>first</SyncML>"); } catch (const CHttpException& error) {
            EXPECT_EQ(error.StringId(), 115u);
            EXPECT_EQ(error.Argument(), c.refusal);
            throw;
          },
          CHttpException);
    }
    const auto requests = refusing.Requests();
    ASSERT_EQ(requests.size(), c.requests);
    EXPECT_EQ(requests.back().body, "<SyncML>first</SyncML>");
    EXPECT_EQ(told, c.told.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.told});
    if (c.succeeds) {
      // The next message goes out with the type that worked, at once.
      EXPECT_EQ(requests.back().Header("Accept"), c.told);
      transport.Post(refusing.Url(), "<SyncML>second</SyncML>");
      ASSERT_EQ(refusing.Requests().size(), c.requests + 1);
      EXPECT_EQ(refusing.Requests().back().Header("Accept"), c.told);
    }
  }
}

// Once the server answered, an error is the server's trouble with the session, not with the type:
// the message is not sent again (it may have been applied).
TEST_F(SyncTransportTest, AfterAnAnswerAnHttpErrorIsNotRetriedWithTheOtherType) {
  server.Enqueue(ScriptedReply::SyncMl(kReply));
  server.Enqueue(ScriptedReply::Status(500, "crashed"));
  HttpSyncTransport transport = Transport();
  transport.Post(server.Url(), "<SyncML>one</SyncML>");
  EXPECT_EQ(PostFailure(transport).Argument(), 500);
  EXPECT_EQ(server.Requests().size(), 2u);
}

// The configuration keeps the type that worked, so its later sessions and runs start with it.
TEST_F(SyncTransportTest, TheTypeThatWorkedIsKeptInTheConfiguration) {
  TempDir configFolder;
  CConf conf(configFolder.Path());
  ASSERT_TRUE(conf.Load(true));
  server.SetResponder([](const RecordedRequest& request) {
    return request.Header("Accept") == "application/vnd.syncml-xml" ? ScriptedReply::SyncMl(kReply) : ScriptedReply::Status(500);
  });
  MakeHttpSyncTransport(conf)->Post(server.Url(), "<SyncML/>");
  EXPECT_EQ(conf.SyncMimeSetting(), "application/vnd.syncml-xml");
  ASSERT_TRUE(conf.Save());
  CConf reloaded(configFolder.Path());
  ASSERT_TRUE(reloaded.Load(false));
  EXPECT_EQ(reloaded.SyncMime(), "application/vnd.syncml-xml");
  MakeHttpSyncTransport(reloaded)->Post(server.Url(), "<SyncML/>");
  EXPECT_EQ(server.Requests().size(), 3u);
}

TEST_F(SyncTransportTest, FromConfTakesTheCertificateChoice) {
  TempDir configFolder;
  CConf conf(configFolder.Path());
  EXPECT_TRUE(SyncTransportOptions::FromConf(conf).verifyCertificates);
  conf.SetSslVerify(false);
  EXPECT_FALSE(SyncTransportOptions::FromConf(conf).verifyCertificates);
  EXPECT_EQ(SyncTransportOptions::FromConf(conf).timeout, std::chrono::seconds(180));
}

TEST_F(SyncTransportTest, BothSyncMlTypesInAnyCaseWithParametersAreAccepted) {
  for (const char* type : {"application/vnd.syncml-xml", "application/vnd.syncml+xml", "APPLICATION/VND.SYNCML-XML",
                           "Application/Vnd.SyncML+XML; charset=UTF-8", "application/vnd.syncml-xml;charset=\"utf-8\""}) {
    SCOPED_TRACE(type);
    server.Enqueue(ScriptedReply::SyncMl(kReply, type));
    EXPECT_EQ(Transport().Post(server.Url(), "<SyncML/>"), kReply);
  }
}

TEST_F(SyncTransportTest, AReplyThatIsNotSyncMlFailsWith161AfterBeingLogged) {
  for (const char* type : {"text/html", "application/xml", ""}) {
    SCOPED_TRACE(type);
    server.Enqueue(type[0] == '\0' ? ScriptedReply{} : ScriptedReply::SyncMl("<html>login page</html>", type));
    const CHttpException error = PostFailure(Transport());
    EXPECT_EQ(error.StringId(), 161u);
    EXPECT_EQ(error.Message(), "Received message is not SyncML one.");
  }
  EXPECT_NE(Log().find("<html>login page</html>"), std::string::npos);
}

TEST_F(SyncTransportTest, AWebServer401Is115WithTheStatus) {
  server.Enqueue(ScriptedReply::Status(401, "Authorization Required"));
  const CHttpException error = PostFailure(Transport());
  EXPECT_EQ(error.StringId(), 115u);
  EXPECT_EQ(error.Message(), "HTTP error 401 : no response from server.");
}

TEST_F(SyncTransportTest, A302IsFollowedWithTheSameMessageAndWithoutLocationIs115) {
  server.Enqueue(ScriptedReply::Redirect(302, server.Url("/cgi-bin/other")));
  server.Enqueue(ScriptedReply::SyncMl(kReply));
  EXPECT_EQ(Transport().Post(server.Url(), "<SyncML>same</SyncML>"), kReply);
  EXPECT_EQ(server.Requests().at(1).body, "<SyncML>same</SyncML>");
  EXPECT_EQ(server.Requests().at(1).Header("Content-Type"), "application/vnd.syncml+xml; charset=\"utf-8\"");

  server.Enqueue(ScriptedReply::Redirect(302, std::nullopt));
  const CHttpException error = PostFailure(Transport());
  EXPECT_EQ(error.StringId(), 115u);
  EXPECT_EQ(error.Argument(), 302);
}

TEST_F(SyncTransportTest, TransportFailuresMapToTimeOutOrCommunicationErrorWithTheReasonLogged) {
  ScriptedReply slow = ScriptedReply::SyncMl(kReply);
  slow.delay = std::chrono::milliseconds(4000);
  server.Enqueue(slow);
  const CHttpException timedOut = PostFailure(Transport());
  EXPECT_EQ(timedOut.StringId(), 310u);
  EXPECT_EQ(timedOut.Message(), "The request to the sync server has timed out");

  server.Enqueue(ScriptedReply::Close());
  const CHttpException dropped = PostFailure(Transport());
  EXPECT_EQ(dropped.StringId(), 163u);

  const CHttpException badAddress = PostFailure(Transport(), "mailto:someone@example.test");
  EXPECT_EQ(badAddress.StringId(), 236u);
  EXPECT_EQ(badAddress.Message(), "Incorrect server address.");

  const std::string log = Log();
  EXPECT_NE(log.find("CSyncML::SendRequest\tERROR\t"), std::string::npos) << log;
  EXPECT_NE(log.find("(time-out)"), std::string::npos) << log;
  EXPECT_NE(log.find("curl error 52"), std::string::npos) << log;
}

TEST_F(SyncTransportTest, ARefusedConnectionIs163) {
  int port = 0;
  {
    ScriptedSyncServer gone;
    port = gone.Port();
  }
  const CHttpException error = PostFailure(Transport(), "http://127.0.0.1:" + std::to_string(port) + "/cgi-bin/vudireravaz");
  EXPECT_EQ(error.StringId(), 163u);
  EXPECT_EQ(error.Message(), "Unable to communicate with the synchronization server. See error log for details.");
  // Nothing left, which the sync driver needs to know; a dropped reply is no such failure.
  EXPECT_THROW(Transport().Post("http://127.0.0.1:" + std::to_string(port) + "/", "<SyncML/>"), CHttpNotSentException);
  server.Enqueue(ScriptedReply::Close());
  try {
    Transport().Post(server.Url(), "<SyncML/>");
    ADD_FAILURE() << "Post did not fail";
  } catch (const CHttpNotSentException&) {
    ADD_FAILURE() << "a message the server received counts as not sent";
  } catch (const CHttpException& dropped) {
    EXPECT_EQ(dropped.StringId(), 163u);
  }
}

TEST_F(SyncTransportTest, AReplyAboveTheCeilingIs163) {
  SyncTransportOptions options;
  options.maxReplyBytes = 4096;
  server.Enqueue(ScriptedReply::SyncMl(std::string(100000, 'x')));
  const CHttpException error = PostFailure(HttpSyncTransport(options));
  EXPECT_EQ(error.StringId(), 163u);
  EXPECT_NE(Log().find("larger than the limit of 4096 bytes"), std::string::npos);
}

TEST_F(SyncTransportTest, TheLoggedExchangeShowsBothMessagesButNoPassword) {
  server.Enqueue(ScriptedReply::SyncMl(kReply));
  Transport().Post(server.Url(), MessageWithCredentials());
  const std::string log = Log();
  EXPECT_NE(log.find("\tCSyncML::SendRequest\tDebug\tMessage sent to server\r\n<SyncML"), std::string::npos) << log;
  EXPECT_NE(log.find("\tSendRequest\tDebug\tMessage received from server\r\n" + std::string(kReply) + "\r\n"),
            std::string::npos) << log;
  EXPECT_NE(log.find("<Data>********</Data></Cred>"), std::string::npos) << log;
  EXPECT_EQ(log.find("YW5uYTpzM2NyM3Qh"), std::string::npos);
  EXPECT_EQ(log.find("s3cr3t!"), std::string::npos);
  EXPECT_EQ(log.find("anna"), std::string::npos);
}

TEST(MaskCredentialsTest, MasksOnlyTheCredData) {
  EXPECT_EQ(MaskCredentials("<SyncHdr><Cred><Meta><Type>b</Type></Meta><Data>c2VjcmV0</Data></Cred></SyncHdr>"
                            "<Item><Data>BEGIN:VCARD</Data></Item>"),
            "<SyncHdr><Cred><Meta><Type>b</Type></Meta><Data>********</Data></Cred></SyncHdr>"
            "<Item><Data>BEGIN:VCARD</Data></Item>");
  // Every Cred (header and command level), and Data with attributes or CDATA content.
  EXPECT_EQ(MaskCredentials("<Cred><Data a=\"1\"><![CDATA[x]]></Data></Cred><Alert><Cred >\n<Data>y</Data></Cred></Alert>"),
            "<Cred><Data a=\"1\">********</Data></Cred><Alert><Cred >\n<Data>********</Data></Cred></Alert>");
  EXPECT_EQ(MaskCredentials("<Credential><Data>kept</Data></Credential><Cred/><Cred><Data/></Cred>"),
            "<Credential><Data>kept</Data></Credential><Cred/><Cred><Data/></Cred>");
}

TEST(MaskCredentialsTest, ItemTextIsNotMarkupAndABrokenCredHidesTheRest) {
  const std::string note = "<Item><Data><![CDATA[NOTE:<Cred><Data>literal</Data></Cred>]]></Data></Item>";
  EXPECT_EQ(MaskCredentials(note), note);
  EXPECT_EQ(MaskCredentials("<SyncHdr><Cred><Data>c2VjcmV0</SyncHdr>"), "<SyncHdr><Cred>********");
  EXPECT_EQ(MaskCredentials("<Cred><Data>c2VjcmV0</Cred>"), "<Cred><Data>********</Cred>");
  EXPECT_EQ(MaskCredentials("<Cred"), "<Cred********");
  EXPECT_EQ(MaskCredentials("<Cred><Data"), "<Cred>********");
  EXPECT_EQ(MaskCredentials(""), "");
}

TEST(MaskCredentialsTest, HostileRepliesAreMaskedInLinearTime) {
  // Unterminated or self-closing tags repeated over a large reply must not rescan the rest.
  std::string hostile;
  for (int i = 0; i < 200000; ++i) hostile += "<Cred <Data ";
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(MaskCredentials(hostile), "<Cred********");
  EXPECT_EQ(MaskCredentials("<Cred>" + hostile + "/></Cred>").rfind("********"), std::string::npos);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(IsSyncMlContentTypeTest, RecognisesBothSpellingsOnly) {
  EXPECT_TRUE(IsSyncMlContentType("application/vnd.syncml-xml"));
  EXPECT_TRUE(IsSyncMlContentType("APPLICATION/VND.SYNCML+XML; charset=utf-8"));
  EXPECT_FALSE(IsSyncMlContentType("application/vnd.syncml.dm+xml"));
  EXPECT_FALSE(IsSyncMlContentType("application/vnd.syncml+wbxml"));
  EXPECT_FALSE(IsSyncMlContentType(""));
}
