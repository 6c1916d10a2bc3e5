// Cancellable transports and the advice for errors the user can fix.
#include "app/WindowRunServices.h"

#include "common/Format.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "syncml/SyncTransport.h"

std::unique_ptr<SyncTransport> CancellableHttpTransports::CreateTransport(CConf& conf) {
  SyncTransportOptions options = SyncTransportOptions::RememberingTypeIn(conf);
  options.abortRequested = [&conf] { return conf.SyncRunning() == CConf::RUN_CANCEL_REQUESTED; };
  return std::make_unique<HttpSyncTransport>(std::move(options));
}

std::optional<std::string> FixableErrorAdvice(const std::string& message) {
  struct Fix {
    std::string message;
    unsigned advice;
  };
  const Fix fixes[] = {
      {LoadString(IDS_AUTHENTICATION_ERROR), IDS_FIX_LOGIN},
      {FormatText(LoadString(IDS_HTTP_ERROR), {401}), IDS_FIX_LOGIN},
      {FormatText(LoadString(IDS_HTTP_ERROR), {403}), IDS_FIX_LOGIN},
      {FormatText(LoadString(IDS_HTTP_ERROR), {407}), IDS_FIX_LOGIN},
      {LoadString(IDS_COMMUNICATION_ERROR), IDS_FIX_CONNECTION},
      {LoadString(IDS_TIMED_OUT), IDS_FIX_TIMEOUT},
      {LoadString(IDS_INCORRECT_SERVER_ADDRESS), IDS_FIX_ADDRESS},
      {FormatText(LoadString(IDS_HTTP_ERROR), {404}), IDS_FIX_ADDRESS},
      {LoadString(IDS_NOT_SYNCML), IDS_FIX_ADDRESS},
  };
  for (const Fix& fix : fixes) {
    if (message == fix.message) return LoadString(fix.advice);
  }
  return std::nullopt;
}

std::string PlainErrorText(const std::string& message) {
  if (std::optional<std::string> advice = FixableErrorAdvice(message)) return *std::move(advice);
  return ServerErrorText(message);
}

std::string ServerErrorText(const std::string& message) {
  if (message == LoadString(IDS_SYNCML_ERROR)) return LoadString(IDS_PLAIN_SYNCML_ERROR);
  const std::string httpError = LoadString(IDS_HTTP_ERROR);
  for (int status = 500; status < 600; ++status) {
    if (message == FormatText(httpError, {status})) return FormatText(LoadString(IDS_PLAIN_SERVER_ERROR), {status});
  }
  return message;
}

PromptAnswer PlainWordsPrompt::Message(std::string_view text, PromptButtons buttons, PromptKind kind) {
  return Inner().Message(buttons == PromptButtons::Ok ? ServerErrorText(std::string(text)) : std::string(text), buttons, kind);
}

PromptAnswer FixableErrorPrompt::Message(std::string_view text, PromptButtons buttons, PromptKind kind) {
  if (buttons != PromptButtons::Ok) return Inner().Message(text, buttons, kind);
  const std::optional<std::string> advice = FixableErrorAdvice(std::string(text));
  if (!advice) return Inner().Message(PlainErrorText(std::string(text)), buttons, kind);
  const PromptAnswer answer =
      Inner().Message(*advice + "\n\n" + LoadString(IDS_ASK_OPEN_CONNECTION_SETTINGS), PromptButtons::YesNo, PromptKind::Error);
  if (answer == PromptAnswer::Yes) mConnectionRequested = true;
  return PromptAnswer::Ok;
}
