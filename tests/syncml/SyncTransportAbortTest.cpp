// An exchange stopped by its abort question: at once, while the server does not answer, with the
// cancel's code; and never without the question.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/CXException.h"
#include "common/StringIds.h"
#include "syncml/SyncTransport.h"
#include "tests/support/SilentServer.h"

namespace {

using namespace std::chrono_literals;

unsigned FailureOf(HttpSyncTransport& transport, const std::string& url) {
  try {
    transport.Post(url, "<SyncML/>");
  } catch (const CHttpException& error) {
    return error.StringId();
  }
  return 0;
}

TEST(SyncTransportAbort, AnAbortStopsAnExchangeTheServerNeverAnswersWithinASecond) {
  SilentServer server;
  std::atomic<bool> abort{false};
  SyncTransportOptions options;
  options.timeout = 60s;
  options.abortRequested = [&abort] { return abort.load(); };
  HttpSyncTransport transport(options);
  std::thread canceller([&abort] {
    std::this_thread::sleep_for(300ms);
    abort = true;
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(FailureOf(transport, server.Url()), static_cast<unsigned>(IDS_CANCELED_BY_USER));
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

TEST(SyncTransportAbort, WithoutAnAbortTheSilentServerTimesOut) {
  SilentServer server;
  SyncTransportOptions options;
  options.timeout = 1s;
  options.abortRequested = [] { return false; };
  HttpSyncTransport transport(options);
  EXPECT_EQ(FailureOf(transport, server.Url()), static_cast<unsigned>(IDS_TIMED_OUT));
}

}  // namespace
