// The connection page's server check: the database request run off the window's thread, with
// its questions shown on the window and a cancel that never waits for the transport.
#pragma once

#include <QObject>
#include <memory>
#include <thread>

#include "app/WindowRunServices.h"
#include "syncml/DatabaseRequest.h"

class CConf;
class GuiHandOver;
class Prompt;
class SyncTransportFactory;
class UpdateStarter;
class AbandonedPosts;
class TransportCancel;

// Runs RequestServerDatabases on a thread of its own, and on the same thread the update the user
// accepted (the package download): the window's thread never waits for the server. The messages
// it shows (the server's error in plain words, the update question, an update that cannot start)
// go through `windowPrompt` on the window's thread while the check waits. While a check runs the window must
// leave `conf` alone: the check reads the settings, rebuilds the links and keeps the identity and
// the request type that worked.
//
// Cancel() returns at once, whatever the transport is doing: a post in flight is abandoned on
// its own thread, which keeps what it uses and ends when its transport gives up (the HTTP
// transport within about a second of the cancel); its answer is dropped. The destructor cancels
// a running check and waits for the abandoned posts, so none outlives the program's objects.
//
// `conf` and `windowPrompt` must outlive the object; `transports` (null: HTTP from the
// settings) and `updates` (null: an update cannot start) too. Used on the window's thread only.
class ServerCheck final : public QObject {
  Q_OBJECT

 public:
  ServerCheck(CConf& conf, Prompt& windowPrompt, SyncTransportFactory* transports, UpdateStarter* updates,
              QObject* parent = nullptr);
  ~ServerCheck() override;

  // Starts a check; ignored while one runs. Finished follows unless the check is cancelled:
  // UpdateAccepted only when the update was started (app_state is then 1), UpdateDeclined when
  // the user declined it or it could not start (that was said, and app_state is 0 again).
  void Start();
  // Stops a running check; no Finished follows.
  void Cancel();
  bool Running() const { return mWorker.joinable(); }

 signals:
  void Finished(DatabaseRequestResult result);

 private:
  void OnWorkerDone(unsigned generation, DatabaseRequestResult result);
  void Stop();
  // On the worker: starts the update the user accepted; UpdateDeclined when it cannot start.
  DatabaseRequestResult StartUpdate();

  CConf& mConf;
  // The window's prompt, the server's errors in plain words.
  PlainWordsPrompt mWindowPrompt;
  SyncTransportFactory* mTransports;
  UpdateStarter* mUpdates;
  std::unique_ptr<GuiHandOver> mHandOver;
  std::unique_ptr<Prompt> mWorkerPrompt;
  std::shared_ptr<TransportCancel> mCancel;
  std::unique_ptr<AbandonedPosts> mAbandoned;
  std::thread mWorker;
  unsigned mGeneration = 0;
};
