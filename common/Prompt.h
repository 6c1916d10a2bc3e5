// The questions and messages the program puts to the user, behind one interface: the Qt user
// interface answers them with dialogs, silent and command-line runs with the safe default.
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class PromptButtons { Ok, OkCancel, YesNo };
enum class PromptAnswer { Ok, Cancel, Yes, No };
// How the message presents itself (its icon); it does not change the answer.
enum class PromptKind { Information, Warning, Error, Question };

// The answer given when nobody can be asked: Ok for an Ok box, Cancel for Ok/Cancel, No for Yes/No.
PromptAnswer SafeDefaultAnswer(PromptButtons buttons);

// Which value of an item changed both locally and on the server is kept: the local one, the
// server's, or both (the item is duplicated).
enum class ConflictAnswer { Local, Server, Both };

// One field of the item that differs between this computer and the server, as the user reads it.
struct ConflictField {
  // The record key ("PR_GIVEN_NAME", "VC_SUMMARY"), or the name of a group of keys shown as one
  // field ("BUSINESS_ADDRESS", "ATTENDEES").
  std::string key;
  std::string local;
  std::string server;

  friend bool operator==(const ConflictField&, const ConflictField&) = default;
};

enum class ConflictItemKind { Contact, Event, Task };

// What the conflict question shows of the item.
struct ConflictQuestion {
  // A contact's display name and nickname; an event's or task's subject (no nickname).
  std::string displayName = {};
  std::string nickname = {};
  ConflictItemKind kind = ConflictItemKind::Contact;
  // The server as it names itself in its device information, else the host of its address.
  std::string serverName = {};
  // Whether the server sent its version of the item; `fields` compares the two when it did.
  bool serverVersionKnown = false;
  std::vector<ConflictField> fields = {};
};

// The item line of the conflict question: for a contact the display name, " [", the nickname and
// " ]"; for an event or task its subject.
std::string ConflictContactLine(const ConflictQuestion& question);

// How e-mail addresses without a home or work type are typed (`email_management_mode`): the user
// is asked, or they become personal ("H"), or business ("W").
enum EmailManagementMode : int {
  EMAIL_ALWAYS_ASK = 0,
  EMAIL_UNKNOWN_PERSONAL = 1,
  EMAIL_UNKNOWN_BUSINESS = 2,
};

// E-mail types: home (personal) and work (business); an empty type is not known yet.
inline constexpr const char* kEmailTypeHome = "H";
inline constexpr const char* kEmailTypeWork = "W";

// The e-mail type question: a contact and its addresses with their types, two parallel lists
// of equal length.
struct EmailTypesQuestion {
  std::string displayName;
  std::string nickname;
  std::vector<std::string> addresses;
  std::vector<std::string> types;
};

// Its answer: the types of all addresses (same length as the question's lists) and the mode the
// user chose for the contacts that follow in the run.
struct EmailTypesAnswer {
  std::vector<std::string> types;
  int mode = EMAIL_ALWAYS_ASK;

  friend bool operator==(const EmailTypesAnswer&, const EmailTypesAnswer&) = default;
};

// The answer given without the user: every address whose type is still empty becomes home while
// the contact has no home address or already has both kinds, else work (so: home first, then
// work, then home for the rest); the mode stays "always ask". Lists of different lengths are
// answered with the types unchanged.
EmailTypesAnswer AutomaticEmailTypes(const EmailTypesQuestion& question);

// The login request: the values shown first, and on OK the values entered (UTF-8).
struct LoginRequest {
  std::string login;
  std::string password;
  bool rememberPassword = false;
};

// What a link that synchronized before does when it would run a slow sync: compare both sides and
// merge them, replace this computer's items with the server's, replace the server's items with
// this computer's, or skip the link now (nothing changes; it asks again next time).
enum class SlowSyncAnswer { Merge, RefreshFromServer, RefreshFromClient, Skip };

// What the slow-sync question shows.
struct SlowSyncQuestion {
  // The link as the main window names it ("Contacts").
  std::string linkName = {};
  // True: the server asked for it (it lost its record of the last run); false: this computer lost
  // the link's anchors.
  bool serverAsked = true;
  // Items in the local folder now, and items both sides held after the last run.
  int localItems = 0;
  int itemsAtLastSync = 0;
};

// What happens to deletions held as too many: carried out on both sides, refused (the items come
// back on the side that lost them), or held again until a run that can ask.
enum class DeletionAnswer { Confirm, Refuse, Hold };

struct MassDeletionQuestion {
  std::string linkName = {};
  // True: the server deleted the items; false: they were deleted on this computer.
  bool byServer = true;
  int deletions = 0;
  // Items of the link before the deletions.
  int items = 0;
};

// Implementations are called on the user-interface thread, or from the worker through a
// blocking hand-over to it; they decide how to show the question, never whether the program may
// ask (SilentAwarePrompt does that).
class Prompt {
 public:
  virtual ~Prompt() = default;

  // Shows `text` with `buttons`; the button chosen. A box closed without a button gives
  // SafeDefaultAnswer(buttons).
  virtual PromptAnswer Message(std::string_view text, PromptButtons buttons = PromptButtons::Ok,
                               PromptKind kind = PromptKind::Information) = 0;

  // Asks for login and password. `request` holds the values to show and receives the entered
  // ones; false (and `request` unchanged) when the user cancelled.
  virtual bool AskLogin(LoginRequest& request) = 0;

  // Asks which value of a conflicting item to keep. This implementation answers Both, the answer
  // of a question closed without a choice; prompts that can show the question override it.
  virtual ConflictAnswer AskConflict(const ConflictQuestion& question);

  // Asks which addresses of a contact are business ones. std::nullopt when the user cancelled:
  // the caller then stops the run as cancelled by the user. This implementation answers with
  // AutomaticEmailTypes; prompts that can show the question override it.
  virtual std::optional<EmailTypesAnswer> AskEmailTypes(const EmailTypesQuestion& question);

  // Asks what a link does instead of a silent slow sync. This implementation answers Skip (a
  // question nobody answered changes nothing); prompts that can show the question override it.
  virtual SlowSyncAnswer AskSlowSync(const SlowSyncQuestion& question);
  // Asks whether held deletions are carried out. This implementation answers Hold.
  virtual DeletionAnswer AskMassDeletion(const MassDeletionQuestion& question);
};

// For runs without a user: never blocks, writes each text as one line to `out` (control
// characters other than line break and tab shown as "?"), and gives the safe default answer; a
// login request is declined, a conflict keeps both values and e-mail types are assigned
// automatically. `out` must outlive the object.
class HeadlessPrompt final : public Prompt {
 public:
  explicit HeadlessPrompt(std::ostream& out);

  PromptAnswer Message(std::string_view text, PromptButtons buttons = PromptButtons::Ok,
                       PromptKind kind = PromptKind::Information) override;
  bool AskLogin(LoginRequest& request) override;
  ConflictAnswer AskConflict(const ConflictQuestion& question) override;
  std::optional<EmailTypesAnswer> AskEmailTypes(const EmailTypesQuestion& question) override;

 private:
  void WriteLine(std::string_view text);

  std::ostream& mOut;
};

// Honours the silent flag: forwards to `interactive` unless `isSilent()` is true at the moment
// of the question, then to `quiet`. Both prompts must outlive this object.
class SilentAwarePrompt final : public Prompt {
 public:
  SilentAwarePrompt(Prompt& interactive, Prompt& quiet, std::function<bool()> isSilent);

  PromptAnswer Message(std::string_view text, PromptButtons buttons = PromptButtons::Ok,
                       PromptKind kind = PromptKind::Information) override;
  bool AskLogin(LoginRequest& request) override;
  ConflictAnswer AskConflict(const ConflictQuestion& question) override;
  std::optional<EmailTypesAnswer> AskEmailTypes(const EmailTypesQuestion& question) override;
  SlowSyncAnswer AskSlowSync(const SlowSyncQuestion& question) override;
  DeletionAnswer AskMassDeletion(const MassDeletionQuestion& question) override;

 private:
  Prompt& Current();

  Prompt& mInteractive;
  Prompt& mQuiet;
  std::function<bool()> mIsSilent;
};
