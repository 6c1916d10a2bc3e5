// Checks the Outlook links of one data type as edited on a wizard page, merges the edited rows
// back into the configured links, and proposes folders for the links not configured yet.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

class CSyncLinkArray;

// An Outlook folder the user can pick, as the store lists it.
struct OutlookFolderInfo {
  std::string name;      // display name shown in the page's drop list
  std::string entryId;
  std::string storeId;
  std::string path;      // full folder path
};

// One edited row of the page: the chosen mode and folder name; validation fills in the folder's
// identifiers and path from the folder list.
struct LinkRow {
  int mode = -1;
  std::string localName;
  std::string localEntryId;
  std::string localStoreId;
  std::string localPath;
};

// Outcome of a validation: messageId 0 when the rows are acceptable, else the id of the message to
// show (240 no folder selected, 241 folder not found, 242 folder used twice, 243 no active row),
// with the row it concerns when there is one.
struct LinkValidationResult {
  unsigned messageId = 0;
  std::optional<std::size_t> row;

  bool Ok() const { return messageId == 0; }
};

// Checks the active rows in row order and fills each one's identifiers and path from the first
// folder of the same name. Stops at the first failure.
LinkValidationResult ValidateOutlookRows(std::vector<LinkRow>& rows, const std::vector<OutlookFolderInfo>& folders);

// The k-th configured link of `dataType` takes the k-th row's mode, folder name, identifiers and
// path and becomes an Outlook link; configured links of the type beyond the rows are removed.
void MergeOutlookRows(CSyncLinkArray& links, int dataType, const std::vector<LinkRow>& rows);

// Validates, and merges only when the rows are acceptable: what the wizard page calls when the
// user leaves it. On failure the page stays open and the links are unchanged.
LinkValidationResult ApplyOutlookRows(CSyncLinkArray& links, int dataType, std::vector<LinkRow>& rows,
                                      const std::vector<OutlookFolderInfo>& folders);

// The folder the wizard's grid proposes for each configured link of `dataType` (in link order):
// an index into `folders` (listed with the default folder first), or -1. A link set up before
// (an active mode or a folder of its own) gets the folder of its identifiers, -1 when that is not
// among them. Each link never set up gets a folder no other row uses: one of the same name as its
// server database, else the first free one, the default database's link choosing first; -1 when
// none is left.
std::vector<int> ProposeFolders(const CSyncLinkArray& links, int dataType, const std::vector<OutlookFolderInfo>& folders);
