// What the next run of a link would send, found without a session and without changing anything.
#pragma once

#include <string>

class CConf;
class CDatabaseObject;
class CSyncLink;

// Reads the link's folder and index the way a run does and lists the changes the run would send:
// one line per item, "send add|update|delete", the kind and the item's name; then what is known
// of the server's side without connecting (its changes are not). Nothing is written: the anchor
// is read only when its file is there, an index file the store's loading had to create is
// removed again, and no journal, text or configuration is touched. The configuration and the
// store are not owned and must outlive the object.
class SyncPreview {
 public:
  SyncPreview(CConf& conf, CDatabaseObject& store) : mConf(conf), mStore(store) {}

  // The preview of `link`, headed by "sync_<number>" and the link's folders; every line ends in
  // "\n". A folder that cannot be read gives a line saying so.
  std::string OfLink(const CSyncLink& link, int number);

  // "contact", "contact group", "event" or "task".
  static const char* KindName(int kind);

 private:
  std::string Changes(const CSyncLink& link, bool firstRun);

  CConf& mConf;
  CDatabaseObject& mStore;
};
