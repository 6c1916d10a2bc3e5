// Posting one SyncML message over HTTP(S): headers, logging with masked credentials, content-type
// check and the mapping of transport failures to the session's error messages.
#include "syncml/SyncTransport.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

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

HttpClientOptions ClientOptions(const SyncTransportOptions& options, const std::string& message) {
  HttpClientOptions client;
  client.logSecrets = CredentialData(message);
  client.timeout = options.timeout;
  client.verifyCertificates = options.verifyCertificates;
  client.caBundlePath = options.caBundlePath;
  client.abortRequested = options.abortRequested;
  return client;
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
  const std::vector<std::string> secrets = CredentialData(message);
  LogDebug(kSendOperation, "Message sent to server\r\n" + MaskForLog(message, secrets) + "\r\n");
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
  // A server may echo the request, its credentials included.
  LogDebug(kReceiveOperation, "Message received from server\r\n" + MaskForLog(reply, secrets) + "\r\n");
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
    LogDebug(kReceiveOperation, "Message received from server\r\n" + MaskForLog(reply, CredentialData(message)) + "\r\n");
    LogError(kSendOperation, "Reply content type: " + contentType);
    throw CHttpException(IDS_NOT_SYNCML);
  }
  return reply;
}

std::string HttpSyncTransport::Exchange(const std::string& url, const std::string& message, const std::string& mime,
                                        std::string& contentType) const {
  HttpBufferString sink(mOptions.maxReplyBytes);
  HttpClient client(&sink, ClientOptions(mOptions, message));
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
