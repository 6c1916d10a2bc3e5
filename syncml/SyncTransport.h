// The seam through which a SyncML session posts one message and receives the server's reply.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "syncml/SecretMask.h"

class CConf;

// The registered SyncML content type: the request's type unless the "syncml_mime" setting names
// another (standard servers refuse anything else).
inline constexpr std::string_view kSyncMlMimeRegistered = "application/vnd.syncml+xml";
// The older spelling some servers expect; both are accepted in replies.
inline constexpr std::string_view kSyncMlMimeOlder = "application/vnd.syncml-xml";
inline constexpr std::string_view kSyncMlMimeDefault = kSyncMlMimeRegistered;

// How the HTTP exchange is made. Values come from the settings (`FromConf`); the time-out, the CA
// bundle and the reply ceiling are not user settings and exist so tests can tighten them.
struct SyncTransportOptions {
  // Content-Type (with charset="utf-8") and Accept of the request ("syncml_mime").
  std::string requestMime{kSyncMlMimeDefault};
  // Called (on the posting thread) when the server refused `requestMime`, one of the two SyncML
  // spellings, and the other one worked: the caller keeps it for later exchanges. Empty: not told.
  std::function<void(const std::string& type)> requestTypeWorked;
  // Certificates verified against the trust store; false accepts any certificate ("ssl_verify=0").
  bool verifyCertificates = true;
  // Connect time-out, the longest time without any byte sent or received, and the longest one
  // exchange (request, reply and redirects) may take as a whole.
  std::chrono::milliseconds timeout{180000};
  // PEM file of trusted certificates; empty means the system trust store.
  std::string caBundlePath;
  // A reply body above this many bytes fails the exchange instead of growing without end.
  std::size_t maxReplyBytes = std::size_t{64} << 20;
  // Asked while an exchange runs (at least once a second, on the posting thread); true stops it
  // at once with CHttpException 305 "Canceled by user". Empty: an exchange is never stopped.
  std::function<bool()> abortRequested;

  // `SyncMime()` and `SslVerify()` of the configuration; the rest stay at their defaults.
  static SyncTransportOptions FromConf(const CConf& conf);
  // FromConf, and a request type that worked after a refusal is stored into `conf` (not saved;
  // the caller's next save keeps it). `conf` must outlive the transport and be left alone by
  // other threads while it posts.
  static SyncTransportOptions RememberingTypeIn(CConf& conf);
};

// Posts one SyncML message and returns the reply body. A transport serves any number of messages,
// one at a time, from the thread that uses it; it keeps no connection between calls.
class SyncTransport {
 public:
  virtual ~SyncTransport() = default;

  // Posts `message` (the encoder's bytes, sent unchanged) to `url` (the settings' SyncUrl, or a
  // RespURI the session received) and returns the reply body, following up to 10 redirects to
  // the same host (its scheme kept or upgraded to https). Logs at debug level under
  // "CSyncML::SendRequest" the sent message and under "SendRequest" the received one, both with
  // every Cred's Data masked (also where the reply echoes it). Throws CHttpException:
  //   236 the URL or a redirect target is not http/https or cannot be parsed, or a redirect
  //       leads to another host or from https to http;
  //   115 (argument: the status) an HTTP status other than 200, a 301/302 without Location, or
  //       a redirect beyond the tenth;
  // A server that refuses the first message with an HTTP error (other than a refused login or
  // an unknown address: 401, 403, 404, 407) is sent the same message once more with the other
  // SyncML spelling when `requestMime` is one of them; when that one works it is used from then
  // on and `requestTypeWorked` is told, else the first refusal is thrown (or the second
  // attempt's error when it was not a refusal). Once a reply came, a refusal is thrown as it is.
  //   161 the reply's Content-Type is not SyncML;
  //   310 the exchange did not end within the time-out (idle, or as a whole);
  //   305 the options' abortRequested stopped the exchange;
  //   163 any other failure (connection, TLS, certificate, a reply above the ceiling); curl's
  //       error text is logged as an error under "CSyncML::SendRequest". When no byte of the
  //       request left (no host, no connection, no TLS session) it is a CHttpNotSentException.
  virtual std::string Post(const std::string& url, const std::string& message) = 0;

 protected:
  SyncTransport() = default;
  SyncTransport(const SyncTransport&) = default;
  SyncTransport& operator=(const SyncTransport&) = default;
};

// The transport over HTTP(S): each `Post` opens its own connection and closes it before returning.
class HttpSyncTransport final : public SyncTransport {
 public:
  explicit HttpSyncTransport(SyncTransportOptions options = {});

  std::string Post(const std::string& url, const std::string& message) override;

  const SyncTransportOptions& Options() const { return mOptions; }

 private:
  // One attempt with `mime`: the reply, or the exchange's failure as a CHttpException.
  std::string Attempt(const std::string& url, const std::string& message, const std::string& mime) const;
  std::string Exchange(const std::string& url, const std::string& message, const std::string& mime,
                       std::string& contentType) const;

  SyncTransportOptions mOptions;
  // The request type in use, and whether a reply to it came.
  std::string mRequestMime;
  bool mTypeConfirmed = false;
};

// The HTTP transport configured from `conf`'s settings, keeping in `conf` a request type that
// worked after a refusal (RememberingTypeIn).
std::unique_ptr<SyncTransport> MakeHttpSyncTransport(CConf& conf);

// Whether a reply Content-Type names SyncML XML: it contains either spelling, in any letter case,
// with any parameters.
bool IsSyncMlContentType(std::string_view contentType);
