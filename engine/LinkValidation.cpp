// Validation of the Outlook links edited on a wizard page, and their merge into the configuration.
#include "engine/LinkValidation.h"

#include <algorithm>

#include "common/AsciiText.h"
#include "common/StringIds.h"
#include "engine/CSyncLink.h"

namespace {

bool IsActive(const LinkRow& row) { return row.mode != SYNC_MODE_OFF; }

LinkValidationResult Failure(unsigned messageId, std::size_t row) { return LinkValidationResult{messageId, row}; }

// Checks one active row and fills in its folder's identifiers and path.
LinkValidationResult CheckRow(std::vector<LinkRow>& rows, std::size_t index, const std::vector<OutlookFolderInfo>& folders) {
  LinkRow& row = rows[index];
  if (row.localName.empty()) return Failure(IDS_FOLDER_NOT_SELECTED, index);
  const auto folder = std::find_if(folders.begin(), folders.end(),
                                   [&](const OutlookFolderInfo& info) { return info.name == row.localName; });
  if (folder == folders.end()) return Failure(IDS_FOLDER_NOT_FOUND, index);
  row.localEntryId = folder->entryId;
  row.localStoreId = folder->storeId;
  row.localPath = folder->path;
  const bool usedAgain = std::any_of(rows.begin() + static_cast<std::ptrdiff_t>(index) + 1, rows.end(),
                                     [&](const LinkRow& later) { return IsActive(later) && later.localName == row.localName; });
  if (usedAgain) return Failure(IDS_FOLDER_USED_TWICE, index);
  return {};
}

}  // namespace

LinkValidationResult ValidateOutlookRows(std::vector<LinkRow>& rows, const std::vector<OutlookFolderInfo>& folders) {
  for (std::size_t index = 0; index < rows.size(); ++index) {
    if (!IsActive(rows[index])) continue;
    LinkValidationResult result = CheckRow(rows, index, folders);
    if (!result.Ok()) return result;
  }
  if (std::none_of(rows.begin(), rows.end(), IsActive)) return LinkValidationResult{IDS_NO_ACTIVE_LINK, std::nullopt};
  return {};
}

void MergeOutlookRows(CSyncLinkArray& links, int dataType, const std::vector<LinkRow>& rows) {
  std::size_t rowIndex = 0;
  std::size_t index = 0;
  while (index < links.Size()) {
    CSyncLink& link = links.At(index);
    if (link.mDataType != dataType) {
      ++index;
      continue;
    }
    if (rowIndex >= rows.size()) {
      links.Remove(index);
      continue;
    }
    const LinkRow& row = rows[rowIndex++];
    link.mMode = row.mode;
    link.mLocalName = row.localName;
    link.mLocalEntryId = row.localEntryId;
    link.mLocalStoreId = row.localStoreId;
    link.mLocalPath = row.localPath;
    link.mClientApp = LOCAL_APP_OUTLOOK;
    ++index;
  }
}

LinkValidationResult ApplyOutlookRows(CSyncLinkArray& links, int dataType, std::vector<LinkRow>& rows,
                                      const std::vector<OutlookFolderInfo>& folders) {
  LinkValidationResult result = ValidateOutlookRows(rows, folders);
  if (result.Ok()) MergeOutlookRows(links, dataType, rows);
  return result;
}

std::vector<int> ProposeFolders(const CSyncLinkArray& links, int dataType, const std::vector<OutlookFolderInfo>& folders) {
  std::vector<const CSyncLink*> rows;
  for (const CSyncLink& link : links) {
    if (link.mDataType == dataType) rows.push_back(&link);
  }
  std::vector<int> proposal(rows.size(), -1);
  std::vector<bool> used(folders.size(), false);
  std::vector<std::size_t> open;
  for (std::size_t row = 0; row < rows.size(); ++row) {
    const CSyncLink& link = *rows[row];
    if (link.mMode == SYNC_MODE_OFF && link.mLocalEntryId.empty()) {
      open.push_back(row);
      continue;
    }
    for (std::size_t folder = 0; folder < folders.size(); ++folder) {
      if (folders[folder].entryId != link.mLocalEntryId || folders[folder].storeId != link.mLocalStoreId) continue;
      proposal[row] = static_cast<int>(folder);
      used[folder] = used[folder] || link.mMode != SYNC_MODE_OFF;
      break;
    }
  }
  std::stable_partition(open.begin(), open.end(), [&](std::size_t row) { return rows[row]->mServerName.empty(); });
  const auto take = [&](std::size_t row, std::size_t folder) {
    proposal[row] = static_cast<int>(folder);
    used[folder] = true;
  };
  std::vector<std::size_t> unnamed;
  for (const std::size_t row : open) {
    const std::string wanted = AsciiLowercase(rows[row]->mServerName);
    bool found = false;
    for (std::size_t folder = 0; !wanted.empty() && folder < folders.size() && !found; ++folder) {
      if (!used[folder] && AsciiLowercase(folders[folder].name) == wanted) {
        take(row, folder);
        found = true;
      }
    }
    if (!found) unnamed.push_back(row);
  }
  for (const std::size_t row : unnamed) {
    const auto folder = std::find(used.begin(), used.end(), false);
    if (folder == used.end()) break;
    take(row, static_cast<std::size_t>(folder - used.begin()));
  }
  return proposal;
}
