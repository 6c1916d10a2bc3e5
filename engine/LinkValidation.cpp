// Validation of the Outlook links edited on a wizard page, and their merge into the configuration.
#include "engine/LinkValidation.h"

#include <algorithm>

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
