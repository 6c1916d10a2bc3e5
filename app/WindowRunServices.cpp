// Cancellable transports and the advice for errors the user can fix.
#include "app/WindowRunServices.h"

#include "common/Format.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "syncml/SyncTransport.h"

std::unique_ptr<SyncTransport> CancellableHttpTransports::CreateTransport(const CConf& conf) {
  SyncTransportOptions options = SyncTransportOptions::FromConf(conf);
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

PromptAnswer FixableErrorPrompt::Message(std::string_view text, PromptButtons buttons, PromptKind kind) {
  const std::optional<std::string> advice = buttons == PromptButtons::Ok ? FixableErrorAdvice(std::string(text)) : std::nullopt;
  if (!advice) return mInner.Message(text, buttons, kind);
  const PromptAnswer answer =
      mInner.Message(*advice + "\n\n" + LoadString(IDS_ASK_OPEN_CONNECTION_SETTINGS), PromptButtons::YesNo, PromptKind::Warning);
  if (answer == PromptAnswer::Yes) mWizardRequested = true;
  return PromptAnswer::Ok;
}
