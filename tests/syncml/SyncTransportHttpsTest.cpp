// Posting over https to a local server with certificates made in the test: verification against the
// trust store, the explicit choice to accept any certificate, and redirects between schemes.
#include <gtest/gtest.h>

#include "common/CXException.h"
#include "syncml/SyncTransport.h"
#include "tests/support/ScriptedSyncServer.h"
#include "tests/support/TempDir.h"

namespace {

constexpr const char* kReply = "<SyncML><SyncHdr/><SyncBody><Final/></SyncBody></SyncML>";

class SyncTransportHttpsTest : public ::testing::Test {
 protected:
  // The front serves a certificate for `subjectAltName`; trusted only when the test says so.
  void StartFront(const std::string& subjectAltName) {
    files = MakeSelfSignedCertificate(dir.Path(), "server", subjectAltName);
    front = std::make_unique<ScriptedTlsFront>(files, server.Port(), dir.Path());
  }

  HttpSyncTransport Transport(bool verify, bool trustTheTestCertificate = false) const {
    SyncTransportOptions options;
    options.timeout = std::chrono::seconds(5);
    options.verifyCertificates = verify;
    if (trustTheTestCertificate) options.caBundlePath = files.certificate;
    return HttpSyncTransport(options);
  }

  unsigned FailureId(HttpSyncTransport transport) {
    try {
      transport.Post(front->Url(), "<SyncML/>");
    } catch (const CHttpException& error) {
      return error.StringId();
    }
    return 0;
  }

  TempDir dir;
  ScriptedSyncServer server;
  TlsFiles files;
  std::unique_ptr<ScriptedTlsFront> front;
};

}  // namespace

TEST_F(SyncTransportHttpsTest, ASelfSignedCertificateIsRefusedUnlessVerificationIsSwitchedOff) {
  StartFront("IP:127.0.0.1");
  EXPECT_EQ(FailureId(Transport(true)), 163u);
  EXPECT_EQ(server.RequestCount(), 0u);

  server.Enqueue(ScriptedReply::SyncMl(kReply));
  EXPECT_EQ(Transport(false).Post(front->Url(), "<SyncML>over tls</SyncML>"), kReply);
  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].body, "<SyncML>over tls</SyncML>");
}

TEST_F(SyncTransportHttpsTest, ATrustedCertificateIsAcceptedOnlyForItsOwnHost) {
  StartFront("IP:127.0.0.1");
  server.Enqueue(ScriptedReply::SyncMl(kReply));
  EXPECT_EQ(Transport(true, true).Post(front->Url(), "<SyncML/>"), kReply);

  front.reset();
  StartFront("DNS:elsewhere.test");
  EXPECT_EQ(FailureId(Transport(true, true)), 163u);
  EXPECT_EQ(server.RequestCount(), 1u);
}

TEST_F(SyncTransportHttpsTest, ARedirectFromHttpsToHttpIsRefusedButOneToHttpsIsFollowed) {
  StartFront("IP:127.0.0.1");
  server.Enqueue(ScriptedReply::Redirect(302, server.Url("/cgi-bin/plain")));
  EXPECT_EQ(FailureId(Transport(false)), 236u);
  EXPECT_EQ(server.RequestCount(), 1u);

  server.Enqueue(ScriptedReply::Redirect(302, front->Url("/cgi-bin/moved")));
  server.Enqueue(ScriptedReply::SyncMl(kReply));
  EXPECT_EQ(Transport(false).Post(front->Url(), "<SyncML/>"), kReply);
  EXPECT_EQ(server.Requests().back().target, "/cgi-bin/moved");
}

TEST_F(SyncTransportHttpsTest, ARedirectFromHttpToHttpsIsFollowed) {
  StartFront("IP:127.0.0.1");
  server.Enqueue(ScriptedReply::Redirect(301, front->Url("/secure")));
  server.Enqueue(ScriptedReply::SyncMl(kReply));
  EXPECT_EQ(Transport(false).Post(server.Url(), "<SyncML/>"), kReply);
  EXPECT_EQ(server.Requests().back().target, "/secure");
}
