// A small HTTP(S) client over libcurl: one request at a time, redirects followed by the client
// itself, the body of a successful reply appended to a sink.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class HttpBuffer;

// The exchange failed below HTTP: no connection, a TLS or certificate failure, a broken reply, or
// the time-out. The message is curl's error text, for the log.
class HttpTransferError : public std::runtime_error {
 public:
  HttpTransferError(const std::string& text, bool timedOut, bool nothingSent = false)
      : std::runtime_error(text), mTimedOut(timedOut), mNothingSent(nothingSent) {}
  bool TimedOut() const { return mTimedOut; }
  // No byte of the request left: the host or proxy was not found, the connection was refused,
  // or the TLS session was not established.
  bool NothingSent() const { return mNothingSent; }

 private:
  bool mTimedOut;
  bool mNothingSent;
};

// The exchange was stopped because `HttpClientOptions::abortRequested` said so.
class HttpTransferAborted : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct HttpClientOptions {
  // Connect time-out, and the longest time without any byte sent or received. Checked about
  // once a second, so a shorter value still waits up to a second.
  std::chrono::milliseconds timeout{180000};
  // The longest one `Send` may take as a whole (connection, request, reply and the redirects it
  // follows), so that a server trickling its reply cannot hold it longer; 0 means `timeout`.
  std::chrono::milliseconds totalTimeout{0};
  // false accepts any server certificate (self-signed servers), by the user's explicit choice.
  bool verifyCertificates = true;
  // PEM file of trusted certificates; empty means the system trust store.
  std::string caBundlePath;
  // Redirects followed by one `Send`.
  int maxRedirects = 10;
  // Asked while the exchange runs (on the calling thread, at least once a second, also while
  // connecting or waiting for the reply); true stops it with HttpTransferAborted. Empty: never.
  std::function<bool()> abortRequested;
  // Texts that never reach the log (the credentials the request carries, which a server may echo
  // in an error page): masked in every line the client logs, as are Cred Data, URL user
  // information and Authorization headers.
  std::vector<std::string> logSecrets;
};

// Not copyable; owns its curl handle. The sink is not owned: it must outlive every `Send`. A client
// belongs to the thread that uses it.
class HttpClient {
 public:
  // Throws HttpTransferError when libcurl cannot make a handle.
  explicit HttpClient(HttpBuffer* sink, HttpClientOptions options = {});
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Replaces the sink (not owned; null: the body is read and dropped) for the next `Send`.
  void SetSink(HttpBuffer* sink) { mSink = sink; }

  // Parses `url` into service, server name, port (80 or 443 unless given) and object (path and
  // query). Throws CHttpException 236 when it is not an http or https URL with a host.
  void SetUrl(const std::string& url);

  // Appends a complete header line ("Name: value"), unless a line of that name (any letter case)
  // is already in the list: then the new line is not sent. Throws std::invalid_argument for a
  // line without a name or holding a line break or a NUL.
  void AddHeader(std::string line);

  // Performs the request with `verb` ("GET", "POST" or "PUT"; else std::invalid_argument) and
  // `body` sent exactly as given (GET sends none); without a URL set it throws 236. Status 200: the
  // reply's Content-Type and Content-Length are kept and the body goes to the sink. 301/302 with a
  // Location: the same request goes to that address, up to `maxRedirects` times and never from
  // https to http; a request with a body (POST, PUT) is redirected only to the same host with the
  // same scheme or upgraded to https (another port allowed), so that what it carries reaches no
  // other host. Throws CHttpException 236 (a redirect target that is not http/https, https to
  // http, or a request with a body sent to another host or scheme),
  // CHttpException 115 with the status (any other status, a redirect without Location or beyond
  // the limit), HttpTransferError (below HTTP), HttpTransferAborted (abortRequested) and
  // HttpSinkError (the sink refused the body).
  void Send(std::string_view verb, std::string_view body);

  const std::string& Url() const { return mUrl; }
  const std::string& ServerName() const { return mServerName; }
  const std::string& Object() const { return mObject; }
  int Port() const { return mPort; }
  bool IsHttps() const { return mHttps; }
  const std::vector<std::string>& Headers() const { return mHeaders; }
  // Of the last reply: its status, and for a 200 its Content-Type ("" when absent) and
  // Content-Length (-1 when absent).
  long StatusCode() const { return mStatusCode; }
  const std::string& ContentType() const { return mContentType; }
  std::int64_t ContentLength() const { return mContentLength; }

 private:
  struct Transfer;
  struct CurlDeleter {
    void operator()(void* handle) const;
  };

  struct ParsedUrl;
  static ParsedUrl ParseUrl(const std::string& url);
  void Assign(ParsedUrl parsed);
  void ApplyOptions(Transfer& transfer, std::string_view verb, std::string_view body);
  void SetConnectionOptions(Transfer& transfer);
  void SetRequestBody(std::string_view verb, std::string_view body);
  void SetHeaderList(Transfer& transfer, bool sendsBody);
  long Perform(Transfer& transfer);
  // The absolute address a 301/302 points to; "" when it carries no Location.
  std::string RedirectTarget() const;
  void FollowRedirect(const std::string& target, std::string_view verb);
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* transfer);
  static int OnProgress(void* transfer, std::int64_t, std::int64_t downloaded, std::int64_t, std::int64_t uploaded);

  HttpBuffer* mSink;
  HttpClientOptions mOptions;
  std::unique_ptr<void, CurlDeleter> mCurl;
  std::string mUrl;
  std::string mServerName;
  std::string mObject;
  std::string mContentType;
  std::int64_t mContentLength = -1;
  std::vector<std::string> mHeaders;
  int mPort = 80;
  bool mHttps = false;
  long mStatusCode = 0;
};
