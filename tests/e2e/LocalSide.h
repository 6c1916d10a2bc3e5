// The local application of an end-to-end client, driven the way another program would drive it.
#pragma once

#include <string>
#include <vector>

#include "config/CConf.h"

struct StoreCapabilities { bool calendar = false; bool tasks = false; bool groups = false; };
class LocalSide {
 public:
  virtual ~LocalSide() = default;
  virtual const char* Name() const = 0;                      // "Folder", "Outlook", "WindowsContacts"
  virtual StoreCapabilities Capabilities() const = 0;
  virtual void Configure(CConf& conf) = 0;                   // keys that select this store and its book
  virtual std::string AddContact(const std::string& vcard) = 0;  // returns the local identifier
  virtual void ChangeContact(const std::string& id, const std::string& vcard) = 0;
  virtual void DeleteContact(const std::string& id) = 0;
  virtual std::vector<std::string> Contacts() const = 0;     // every contact as vCard text, sorted
};
