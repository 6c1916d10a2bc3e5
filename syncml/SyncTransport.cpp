// Posting one SyncML message over HTTP(S): headers, logging with masked credentials, content-type
// check and the mapping of transport failures to the session's error messages.
#include "syncml/SyncTransport.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "common/AsciiText.h"
#include "common/CXException.h"
#include "common/StringIds.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "syncml/HttpBuffer.h"
#include "syncml/HttpClient.h"

namespace {

constexpr const char* kSendOperation = "CSyncML::SendRequest";
constexpr const char* kReceiveOperation = "SendRequest";
constexpr std::string_view kMask = "********";

bool IsTokenChar(unsigned char c) {
  return std::isalnum(c) != 0 || std::string_view("!#$&^_.+-").find(static_cast<char>(c)) != std::string_view::npos;
}

// The media type of a configured content type ("type/subtype", parameters dropped); the default
// when the setting is not a plain media type, so nothing odd reaches the request headers.
std::string RequestMime(std::string_view configured) {
  const std::string_view type = TrimBlanks(configured.substr(0, configured.find(';')));
  const auto slash = type.find('/');
  const bool plain = slash != std::string_view::npos && slash > 0 && slash + 1 < type.size() &&
                     type.find('/', slash + 1) == std::string_view::npos &&
                     std::all_of(type.begin(), type.end(), [](unsigned char c) { return c == '/' || IsTokenChar(c); });
  return std::string(plain ? type : kSyncMlMimeDefault);
}

// The other SyncML spelling of `mime`; empty for any other type.
std::string OtherSyncMlSpelling(const std::string& mime) {
  const std::string lowered = AsciiLowercase(mime);
  if (lowered == kSyncMlMimeRegistered) return std::string(kSyncMlMimeOlder);
  if (lowered == kSyncMlMimeOlder) return std::string(kSyncMlMimeRegistered);
  return {};
}

// An HTTP error that may be the server refusing the request type: any error status but a refused
// login (401, 403, 407) or an unknown address (404), which say nothing about the type.
bool MayRefuseTheType(const CHttpException& error) {
  if (error.StringId() != IDS_HTTP_ERROR || !error.Argument()) return false;
  const long long status = *error.Argument();
  return status >= 400 && status != 401 && status != 403 && status != 404 && status != 407;
}

HttpClientOptions ClientOptions(const SyncTransportOptions& options) {
  HttpClientOptions client;
  client.timeout = options.timeout;
  client.verifyCertificates = options.verifyCertificates;
  client.caBundlePath = options.caBundlePath;
  client.abortRequested = options.abortRequested;
  return client;
}

// For a start tag `<name ...>` at `at`: the position of its '>' (npos when no '>' follows at all);
// nullopt when the markup at `at` is not that element (another name, or a longer one).
std::optional<std::size_t> StartTagEnd(std::string_view text, std::size_t at, std::string_view name) {
  const std::size_t after = at + 1 + name.size();
  if (text.compare(at + 1, name.size(), name) != 0 || after > text.size()) return std::nullopt;
  if (after == text.size()) return std::string_view::npos;
  const char next = text[after];
  if (next != '>' && next != '/' && next != ' ' && next != '\t' && next != '\r' && next != '\n') return std::nullopt;
  return text.find('>', after);
}

// Appends `cred` (the content of one Cred element) to `out` with the content of each Data masked.
void AppendMaskedCred(std::string_view cred, std::string& out) {
  std::size_t done = 0;
  for (std::size_t at = cred.find("<Data"); at != std::string_view::npos; at = cred.find("<Data", at + 1)) {
    const std::optional<std::size_t> tagEnd = StartTagEnd(cred, at, "Data");
    if (!tagEnd) continue;
    if (*tagEnd == std::string_view::npos) {
      out.append(cred.substr(done, at - done));
      out.append(kMask);
      return;
    }
    if (cred[*tagEnd - 1] == '/') {
      at = *tagEnd;
      continue;
    }
    out.append(cred.substr(done, *tagEnd + 1 - done));
    out.append(kMask);
    const std::size_t close = cred.find("</Data>", *tagEnd);
    if (close == std::string_view::npos) return;
    done = at = close;
  }
  out.append(cred.substr(done));
}

}  // namespace

SyncTransportOptions SyncTransportOptions::FromConf(const CConf& conf) {
  SyncTransportOptions options;
  options.requestMime = conf.SyncMime();
  options.verifyCertificates = conf.SslVerify();
  return options;
}

SyncTransportOptions SyncTransportOptions::RememberingTypeIn(CConf& conf) {
  SyncTransportOptions options = FromConf(conf);
  options.requestTypeWorked = [&conf](const std::string& type) { conf.SetSyncMime(type); };
  return options;
}

HttpSyncTransport::HttpSyncTransport(SyncTransportOptions options)
    : mOptions(std::move(options)), mRequestMime(RequestMime(mOptions.requestMime)) {}

std::string HttpSyncTransport::Post(const std::string& url, const std::string& message) {
  // Logged before sending, so a failed exchange still shows what was sent.
  LogDebug(kSendOperation, "Message sent to server\r\n" + MaskCredentials(message) + "\r\n");
  std::string reply;
  try {
    reply = Attempt(url, message, mRequestMime);
  } catch (const CHttpException& refusal) {
    const std::string other = OtherSyncMlSpelling(mRequestMime);
    if (mTypeConfirmed || other.empty() || !MayRefuseTheType(refusal)) throw;
    LogError(kSendOperation, "The server refused the request type " + mRequestMime + ": trying " + other);
    try {
      reply = Attempt(url, message, other);
    } catch (const CHttpException& second) {
      if (MayRefuseTheType(second)) throw refusal;
      throw;
    }
    mRequestMime = other;
    if (mOptions.requestTypeWorked) mOptions.requestTypeWorked(other);
  }
  mTypeConfirmed = true;
  LogDebug(kReceiveOperation, "Message received from server\r\n" + MaskCredentials(reply) + "\r\n");
  return reply;
}

std::string HttpSyncTransport::Attempt(const std::string& url, const std::string& message, const std::string& mime) const {
  std::string contentType;
  std::string reply;
  try {
    reply = Exchange(url, message, mime, contentType);
  } catch (const HttpTransferError& error) {
    LogError(kSendOperation, error.what());
    if (error.NothingSent()) throw CHttpNotSentException(IDS_COMMUNICATION_ERROR);
    throw CHttpException(error.TimedOut() ? IDS_TIMED_OUT : IDS_COMMUNICATION_ERROR);
  } catch (const HttpTransferAborted& error) {
    LogDebug(kSendOperation, error.what());
    throw CHttpException(IDS_CANCELED_BY_USER);
  } catch (const HttpSinkError& error) {
    LogError(kSendOperation, error.what());
    throw CHttpException(IDS_COMMUNICATION_ERROR);
  }
  if (!IsSyncMlContentType(contentType)) {
    LogDebug(kReceiveOperation, "Message received from server\r\n" + MaskCredentials(reply) + "\r\n");
    LogError(kSendOperation, "Reply content type: " + contentType);
    throw CHttpException(IDS_NOT_SYNCML);
  }
  return reply;
}

std::string HttpSyncTransport::Exchange(const std::string& url, const std::string& message, const std::string& mime,
                                        std::string& contentType) const {
  HttpBufferString sink(mOptions.maxReplyBytes);
  HttpClient client(&sink, ClientOptions(mOptions));
  client.SetUrl(url);
  client.AddHeader("Content-Type: " + mime + "; charset=\"utf-8\"");
  client.AddHeader("Accept: " + mime);
  client.AddHeader("Cache-Control: no-store");
  client.AddHeader("Cache-Control: private");
  client.Send("POST", message);
  contentType = client.ContentType();
  return sink.TakeText();
}

std::unique_ptr<SyncTransport> MakeHttpSyncTransport(CConf& conf) {
  return std::make_unique<HttpSyncTransport>(SyncTransportOptions::RememberingTypeIn(conf));
}

bool IsSyncMlContentType(std::string_view contentType) {
  const std::string lowered = AsciiLowercase(contentType);
  return lowered.find(kSyncMlMimeOlder) != std::string::npos || lowered.find(kSyncMlMimeRegistered) != std::string::npos;
}

std::string MaskCredentials(std::string_view message) {
  std::string out;
  out.reserve(message.size());
  std::size_t done = 0;
  std::size_t at = message.find('<');
  while (at != std::string_view::npos) {
    if (message.compare(at, 9, "<![CDATA[") == 0) {
      // Item text is not markup: a "<Cred" inside it is left alone.
      const std::size_t close = message.find("]]>", at + 9);
      at = close == std::string_view::npos ? close : message.find('<', close + 3);
      continue;
    }
    const std::optional<std::size_t> tagEnd = StartTagEnd(message, at, "Cred");
    if (!tagEnd) {
      at = message.find('<', at + 1);
      continue;
    }
    if (*tagEnd != std::string_view::npos && message[*tagEnd - 1] == '/') {
      at = message.find('<', *tagEnd);
      continue;
    }
    // A Cred that never closes: nothing after its start can be told apart from a secret.
    const std::size_t close = *tagEnd == std::string_view::npos ? *tagEnd : message.find("</Cred>", *tagEnd);
    if (close == std::string_view::npos) {
      out.append(message.substr(done, (*tagEnd == std::string_view::npos ? at + 5 : *tagEnd + 1) - done));
      out.append(kMask);
      return out;
    }
    out.append(message.substr(done, *tagEnd + 1 - done));
    AppendMaskedCred(message.substr(*tagEnd + 1, close - *tagEnd - 1), out);
    done = close;
    at = message.find('<', close + 1);
  }
  out.append(message.substr(done));
  return out;
}
