// The HTTP client on libcurl: URL parsing, header list, redirects by hand, statuses and body.
#include "syncml/HttpClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <exception>
#include <optional>
#include <type_traits>

#include "common/AsciiText.h"
#include "common/CXException.h"
#include "common/StringIds.h"
#include "config/CLog.h"
#include "syncml/HttpBuffer.h"
#include "syncml/SecretMask.h"

static_assert(std::is_same_v<curl_off_t, std::int64_t>, "the progress callback is declared with std::int64_t");

namespace {

constexpr const char* kLogOperation = "HttpClient::Send";
constexpr const char* kUserAgent = "Sync Client";
constexpr const char* kPastDeadline = "the exchange took longer than its time-out (time-out)";
// How much of the body of a reply other than 200 is kept for the log; the rest is not read.
constexpr std::size_t kExcerptLimit = 512;

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

struct HeaderListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

std::optional<std::string> UrlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, flags) != CURLUE_OK || text == nullptr) return std::nullopt;
  std::string value(text);
  curl_free(text);
  return value;
}

// The header name of a line, lower-cased, for the add-if-new comparison.
std::string HeaderName(std::string_view line) { return AsciiLowercase(TrimBlanks(line.substr(0, line.find(':')))); }

bool HasHeader(const std::vector<std::string>& lines, std::string_view name) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return HeaderName(line) == name; });
}

// The failures that happen before a connection carries any byte of the request.
bool FailedBeforeSending(CURLcode code) {
  return code == CURLE_COULDNT_RESOLVE_PROXY || code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_CONNECT ||
         code == CURLE_SSL_CONNECT_ERROR || code == CURLE_PEER_FAILED_VERIFICATION;
}

// Whether a request with a body may follow a redirect from `from` to `to`: the same host (another
// port allowed), with the same scheme or upgraded to https.
bool KeepsServer(bool fromHttps, std::string_view fromHost, bool toHttps, std::string_view toHost) {
  return AsciiLowercase(fromHost) == AsciiLowercase(toHost) && (toHttps || !fromHttps);
}

[[noreturn]] void ThrowIncorrectAddress(std::string_view url, std::string_view why) {
  LogError(kLogOperation, std::string("Incorrect server address \"") + std::string(url) + "\": " + std::string(why));
  throw CHttpException(IDS_INCORRECT_SERVER_ADDRESS);
}

}  // namespace

struct HttpClient::ParsedUrl {
  std::string url;
  std::string serverName;
  std::string object;
  int port = 80;
  bool https = false;
};

// What one curl_easy_perform needs beyond the handle's options; lives for that call only.
struct HttpClient::Transfer {
  CURL* curl = nullptr;
  HttpBuffer* sink = nullptr;
  HeaderList headers;
  std::exception_ptr sinkError;
  std::string excerpt;
  bool stoppedReading = false;
  // Progress seen last, and when; an exchange idle for longer than `idleLimit`, or still running
  // at `deadline`, is a time-out.
  std::chrono::milliseconds idleLimit{0};
  std::chrono::steady_clock::time_point lastActivity;
  std::chrono::steady_clock::time_point deadline;
  bool pastDeadline = false;
  curl_off_t downloaded = 0;
  curl_off_t uploaded = 0;
  bool timedOut = false;
  const std::function<bool()>* abortRequested = nullptr;
  bool aborted = false;
};

void HttpClient::CurlDeleter::operator()(void* handle) const { curl_easy_cleanup(handle); }

HttpClient::HttpClient(HttpBuffer* sink, HttpClientOptions options)
    : mSink(sink), mOptions(std::move(options)), mCurl(curl_easy_init()) {
  if (!mCurl) throw HttpTransferError("libcurl could not create a transfer handle", false);
}

HttpClient::~HttpClient() = default;

HttpClient::ParsedUrl HttpClient::ParseUrl(const std::string& url) {
  UrlHandle handle(curl_url());
  if (!handle) ThrowIncorrectAddress(url, "out of memory");
  if (curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) ThrowIncorrectAddress(url, "not a URL");
  ParsedUrl parsed;
  const std::string scheme = AsciiLowercase(UrlPart(handle.get(), CURLUPART_SCHEME).value_or(""));
  if (scheme != "http" && scheme != "https") ThrowIncorrectAddress(url, "not http or https");
  parsed.https = scheme == "https";
  parsed.serverName = UrlPart(handle.get(), CURLUPART_HOST).value_or("");
  if (parsed.serverName.empty()) ThrowIncorrectAddress(url, "no host");
  const std::string port = UrlPart(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT).value_or("");
  parsed.port = port.empty() ? (parsed.https ? 443 : 80) : std::stoi(port);
  parsed.object = UrlPart(handle.get(), CURLUPART_PATH).value_or("/");
  if (const auto query = UrlPart(handle.get(), CURLUPART_QUERY)) parsed.object += "?" + *query;
  parsed.url = UrlPart(handle.get(), CURLUPART_URL).value_or(url);
  return parsed;
}

void HttpClient::Assign(ParsedUrl parsed) {
  mUrl = std::move(parsed.url);
  mServerName = std::move(parsed.serverName);
  mObject = std::move(parsed.object);
  mPort = parsed.port;
  mHttps = parsed.https;
}

void HttpClient::SetUrl(const std::string& url) { Assign(ParseUrl(url)); }

void HttpClient::AddHeader(std::string line) {
  if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
    throw std::invalid_argument("a header line holds a line break or NUL");
  }
  const std::string name = HeaderName(line);
  if (line.find(':') == std::string::npos || name.empty()) throw std::invalid_argument("a header line has no name");
  if (!HasHeader(mHeaders, name)) mHeaders.push_back(std::move(line));
}

void HttpClient::Send(std::string_view verb, std::string_view body) {
  if (verb != "GET" && verb != "POST" && verb != "PUT") throw std::invalid_argument("unsupported HTTP verb");
  if (mUrl.empty()) ThrowIncorrectAddress("", "no address set");
  mContentType.clear();
  mContentLength = -1;
  const auto total = mOptions.totalTimeout.count() > 0 ? mOptions.totalTimeout : mOptions.timeout;
  const auto deadline = std::chrono::steady_clock::now() + std::max<std::chrono::milliseconds>(total, std::chrono::milliseconds(1));
  for (int redirects = 0;; ++redirects) {
    Transfer transfer;
    transfer.deadline = deadline;
    ApplyOptions(transfer, verb, body);
    mStatusCode = Perform(transfer);
    if (mStatusCode == 200) {
      const char* type = nullptr;
      if (curl_easy_getinfo(mCurl.get(), CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type != nullptr) mContentType = type;
      curl_off_t length = -1;
      if (curl_easy_getinfo(mCurl.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK) mContentLength = length;
      return;
    }
    if (mStatusCode == 301 || mStatusCode == 302) {
      const std::string target = RedirectTarget();
      if (!target.empty() && redirects < mOptions.maxRedirects) {
        FollowRedirect(target, verb);
        continue;
      }
      LogError(kLogOperation, target.empty() ? "Redirect without Location" : "Too many redirects");
    }
    LogError(kLogOperation, MaskForLog("HTTP status " + std::to_string(mStatusCode) + " from " + mUrl +
                                           (transfer.excerpt.empty() ? std::string() : ": " + transfer.excerpt),
                                       mOptions.logSecrets));
    throw CHttpException(IDS_HTTP_ERROR, static_cast<long long>(mStatusCode));
  }
}

void HttpClient::ApplyOptions(Transfer& transfer, std::string_view verb, std::string_view body) {
  transfer.curl = mCurl.get();
  transfer.sink = mSink;
  SetConnectionOptions(transfer);
  const bool sendsBody = verb != "GET";
  SetRequestBody(verb, body);
  SetHeaderList(transfer, sendsBody);
}

void HttpClient::SetConnectionOptions(Transfer& transfer) {
  CURL* curl = mCurl.get();
  const long timeout = static_cast<long>(std::max<std::chrono::milliseconds::rep>(1, mOptions.timeout.count()));
  transfer.idleLimit = std::chrono::milliseconds(timeout);
  if (mOptions.abortRequested) transfer.abortRequested = &mOptions.abortRequested;
  transfer.lastActivity = std::chrono::steady_clock::now();
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(transfer.deadline - transfer.lastActivity).count();
  if (left <= 0) {
    throw HttpTransferError(kPastDeadline, true);
  }
  curl_easy_setopt(curl, CURLOPT_URL, mUrl.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, std::min<long>(timeout, static_cast<long>(left)));
  // The deadline is watched below; curl's own limit only backs it up.
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(left) + 1000L);
  // No byte moving in either direction for the whole time-out is the time-out (curl's own
  // low-speed check averages over several seconds and would let a short time-out run long).
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &HttpClient::OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, mOptions.verifyCertificates ? 1L : 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, mOptions.verifyCertificates ? 2L : 0L);
  if (!mOptions.caBundlePath.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, mOptions.caBundlePath.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &HttpClient::OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
}

void HttpClient::SetRequestBody(std::string_view verb, std::string_view body) {
  CURL* curl = mCurl.get();
  const std::string customVerb = verb == "POST" || verb == "GET" ? std::string() : std::string(verb);
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, customVerb.empty() ? nullptr : customVerb.c_str());
  if (verb == "GET") {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    return;
  }
  // The body is not copied: it belongs to the caller of Send, which outlives the transfer.
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.empty() ? "" : body.data());
}

void HttpClient::SetHeaderList(Transfer& transfer, bool sendsBody) {
  std::vector<std::string> lines = mHeaders;
  // curl would otherwise add a form content type to a body without one, and make a large body
  // wait for "100 Continue", which servers need not send.
  if (sendsBody && !HasHeader(lines, "content-type")) lines.emplace_back("Content-Type:");
  if (!HasHeader(lines, "expect")) lines.emplace_back("Expect:");
  for (const std::string& line : lines) {
    curl_slist* extended = curl_slist_append(transfer.headers.get(), line.c_str());
    if (extended == nullptr) throw HttpTransferError("out of memory for the request headers", false);
    transfer.headers.release();
    transfer.headers.reset(extended);
  }
  curl_easy_setopt(mCurl.get(), CURLOPT_HTTPHEADER, transfer.headers.get());
}

long HttpClient::Perform(Transfer& transfer) {
  CURL* curl = mCurl.get();
  char errorText[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
  const CURLcode code = curl_easy_perform(curl);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, nullptr);
  if (transfer.sinkError) std::rethrow_exception(transfer.sinkError);
  if (transfer.aborted) throw HttpTransferAborted("the exchange was stopped (cancel requested)");
  if (transfer.timedOut) {
    throw HttpTransferError(transfer.pastDeadline ? std::string(kPastDeadline)
                                                  : "no data sent or received for " + std::to_string(transfer.idleLimit.count()) +
                                                        " ms (time-out)",
                            true);
  }
  if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && transfer.stoppedReading)) {
    const std::string text = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
    throw HttpTransferError(text + " (curl error " + std::to_string(code) + ")", code == CURLE_OPERATION_TIMEDOUT,
                            FailedBeforeSending(code));
  }
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  return status;
}

std::string HttpClient::RedirectTarget() const {
  curl_header* header = nullptr;
  if (curl_easy_header(mCurl.get(), "Location", 0, CURLH_HEADER, -1, &header) != CURLHE_OK || header == nullptr) return {};
  const std::string location(TrimBlanks(header->value != nullptr ? header->value : ""));
  if (location.empty()) return {};
  // A relative Location is resolved against the address that answered.
  UrlHandle resolved(curl_url());
  if (resolved && curl_url_set(resolved.get(), CURLUPART_URL, mUrl.c_str(), 0) == CURLUE_OK &&
      curl_url_set(resolved.get(), CURLUPART_URL, location.c_str(), 0) == CURLUE_OK) {
    if (auto url = UrlPart(resolved.get(), CURLUPART_URL)) return *url;
  }
  return location;
}

void HttpClient::FollowRedirect(const std::string& target, std::string_view verb) {
  ParsedUrl parsed = ParseUrl(target);
  if (mHttps && !parsed.https) ThrowIncorrectAddress(target, "a redirect from https to http is not followed");
  if (verb != "GET" && !KeepsServer(mHttps, mServerName, parsed.https, parsed.serverName)) {
    ThrowIncorrectAddress(target, "a redirect of a request with a body to another server is not followed");
  }
  LogDebug(kLogOperation, "Redirected to " + parsed.url);
  Assign(std::move(parsed));
}

int HttpClient::OnProgress(void* context, std::int64_t, std::int64_t downloaded, std::int64_t, std::int64_t uploaded) {
  Transfer& transfer = *static_cast<Transfer*>(context);
  if (transfer.abortRequested != nullptr && (*transfer.abortRequested)()) {
    transfer.aborted = true;
    return 1;
  }
  const auto now = std::chrono::steady_clock::now();
  if (now >= transfer.deadline) {
    transfer.timedOut = transfer.pastDeadline = true;
    return 1;
  }
  if (downloaded != transfer.downloaded || uploaded != transfer.uploaded) {
    transfer.downloaded = downloaded;
    transfer.uploaded = uploaded;
    transfer.lastActivity = now;
    return 0;
  }
  if (now - transfer.lastActivity < transfer.idleLimit) return 0;
  transfer.timedOut = true;
  return 1;
}

std::size_t HttpClient::OnBody(char* data, std::size_t size, std::size_t count, void* context) {
  Transfer& transfer = *static_cast<Transfer*>(context);
  const std::size_t length = size * count;
  long status = 0;
  curl_easy_getinfo(transfer.curl, CURLINFO_RESPONSE_CODE, &status);
  if (status != 200) {
    // Only a 200's body is wanted; a little of any other is kept for the log.
    const std::size_t room = kExcerptLimit - transfer.excerpt.size();
    transfer.excerpt.append(data, std::min(room, length));
    if (length <= room) return length;
    transfer.stoppedReading = true;
    return 0;
  }
  if (transfer.sink == nullptr) return length;
  try {
    transfer.sink->Append(data, length);
  } catch (...) {
    transfer.sinkError = std::current_exception();
    return 0;
  }
  return length;
}
