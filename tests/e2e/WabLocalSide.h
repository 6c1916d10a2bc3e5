// The Windows Contacts side of an end-to-end client: an address book of its own, changed through
// the address book interfaces as another program changes it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/LocalSide.h"
#include "tests/support/TempDir.h"

// The book and the library setting live in `folder`; while the object lives the environment
// points the store at them ($LARK_WAB_CONF, $LARK_WAB_ADDRESSBOOK). Local identifiers are the
// contacts' binary entry identifiers in hexadecimal (the store's own identifier, PR_ZEP_ENTRYID,
// is made by the store when it first reads a contact). Opens the book anew for each call, so
// the object may be used on both sides of a fork.
class WabLocalSide final : public LocalSide {
 public:
  explicit WabLocalSide(const std::string& folder);

  const char* Name() const override { return "WindowsContacts"; }
  // Contacts only; addresses are typed by the e-mail management mode when the store reads them.
  StoreCapabilities Capabilities() const override { return {false, false, false, true}; }
  // The Windows Contacts application for the run and the contacts link; calendar and task
  // links are switched off.
  void Configure(CConf& conf) override;
  // Writes the card's fields as the store would, without the store's identifier.
  std::string AddContact(const std::string& vcard) override;
  void ChangeContact(const std::string& id, const std::string& vcard) override;
  void DeleteContact(const std::string& id) override;
  // The property of the record key's name set as another program sets it.
  void ChangeField(SyncDataType type, const std::string& id, const std::string& key, const std::string& value) override;
  // Each contact's record as the store reads it, as vCard text.
  std::vector<std::string> Contacts() const override;
  std::unique_ptr<SyncStoreFactory> MakeStoreFactory(int killAfterServerWrites) override;
  std::string IdOf(const std::string& displayName) const override;
  // The store acknowledges groups without keeping them.
  std::vector<std::string> GroupMembers(const std::string&) const override { return {}; }

  // The store's identifier kept in a contact; nullopt when it has none (yet).
  std::optional<std::string> StoreIdentifierOf(const std::string& id) const;
  // Text properties of a contact by name ("PR_BUSINESS_FAX_NUMBER"); lists joined by tabs.
  std::optional<std::string> PropertyOf(const std::string& id, const std::string& name) const;
  // The local identifiers of every contact.
  std::vector<std::string> Ids() const;

  const std::string& SettingPath() const { return mSettingPath; }
  const std::string& BookPath() const { return mBookPath; }

 private:
  std::string mSettingPath;
  std::string mBookPath;
  ScopedEnv mSetting;
  ScopedEnv mBook;
};
