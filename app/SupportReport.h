// The report a user sends to support: logs, settings and link states, without secrets or items.
#pragma once

#include <string>
#include <utility>
#include <vector>

class CConf;

// Made from the configuration (not owned; it must outlive the object) and the files of its folder.
// Entries, under "larkspan-report/":
//   about.txt            the version, the platform and the local application
//   settings.txt         the configuration file as text, "login" and "password" masked
//   links.txt            per link its section, folders, mode, state, last run and counts, and how
//                        many items its index and snapshots hold
//   Sync.log, Sync.log.N the last run's log and those of the runs before it
//   server-devinf.xml    the server's device information as far as the logs hold it
// Logs are masked as log lines are (credentials, URL user information, the login and password
// themselves), and the content of every item they carry is replaced by its size: nothing of the
// user's items but counts leaves the computer.
class SupportReport {
 public:
  explicit SupportReport(const CConf& conf) : mConf(conf) {}

  // The entries: file name in the archive, content.
  std::vector<std::pair<std::string, std::string>> Entries() const;
  // Writes the entries to `path` as a gzip-compressed tar archive, replacing it atomically
  // (0600); false with the reason in `error` when it cannot.
  bool Save(const std::string& path, std::string& error) const;

  // `log` fit for the report: secrets masked, each item's Data replaced by "[item data: N bytes]"
  // (a status or alert code, masked credentials and device information stay).
  static std::string MaskedLog(const std::string& log, const std::vector<std::string>& secrets);

 private:
  std::string About() const;
  std::string Settings() const;
  std::string Links() const;

  const CConf& mConf;
};
