// The preview of a link's next run.
#include "engine/SyncPreview.h"

#include <filesystem>
#include <fstream>
#include <locale>
#include <optional>
#include <system_error>

#include "common/CXException.h"
#include "common/Format.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "engine/CChangeLog.h"
#include "engine/CSyncLink.h"
#include "engine/SessionJournal.h"
#include "stores/CDatabaseObject.h"

namespace {

namespace fs = std::filesystem;

// The anchor the link's file holds; none when the file is missing or unreadable (a run would
// start the link again with a slow sync).
std::optional<int> ReadAnchor(const std::string& path) {
  std::ifstream file(path);
  file.imbue(std::locale::classic());
  int anchor = 0;
  if (file && file >> anchor) return anchor;
  return std::nullopt;
}

std::string NameOf(const CDataItem& record) {
  std::string name(record.PropertyView(record.kind == ITEM_EVENT || record.kind == ITEM_TASK ? "VC_SUMMARY" : "PR_DISPLAY_NAME"));
  if (name.empty() && record.kind != ITEM_EVENT && record.kind != ITEM_TASK) {
    name = std::string(record.PropertyView("PR_GIVEN_NAME"));
    const std::string_view surname = record.PropertyView("PR_SURNAME");
    if (!surname.empty()) {
      if (!name.empty()) name += ' ';
      name.append(surname);
    }
  }
  for (char& c : name) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  }
  return "\"" + name + "\"";
}

}  // namespace

const char* SyncPreview::KindName(int kind) {
  switch (kind) {
    case ITEM_GROUP: return "contact group";
    case ITEM_TASK: return "task";
    case ITEM_EVENT: return "event";
    default: return "contact";
  }
}

std::string SyncPreview::OfLink(const CSyncLink& link, int number) {
  std::string out = FormatText("sync_%d: %s <-> %s (%s)\n", {number, link.mLocalName, link.ServerUri(), link.ModeText()});
  const std::string base = mConf.ConfigFolder() + link.LocalFileName();
  const std::optional<int> anchor = ReadAnchor(base + ".anc");
  const bool firstRun = mConf.ClientStoreId().empty() || !anchor || *anchor < 0 || (*anchor == 0 && link.mLastSyncTime == 0);
  SessionJournal journal(mConf, link);
  if (!firstRun && journal.Load()) out += "  " + LoadString(IDS_PREVIEW_INTERRUPTED) + "\n";
  if (firstRun) out += "  " + LoadString(IDS_PREVIEW_FIRST_RUN) + "\n";
  if (link.mMode == SYNC_MODE_DOWNLOAD && !firstRun) {
    out += "  " + LoadString(IDS_PREVIEW_DOWNLOAD_ONLY) + "\n";
  } else {
    try {
      out += Changes(link, firstRun);
    } catch (const CXException& error) {
      out += "  " + FormatText(LoadString(IDS_PREVIEW_CANNOT_READ), {error.Message()}) + "\n";
    }
  }
  if (!firstRun) out += "  " + FormatText(LoadString(IDS_PREVIEW_SERVER_HELD), {static_cast<int>(mStore.mSavedItems.Count())}) + "\n";
  out += "  " + LoadString(IDS_PREVIEW_SERVER_UNKNOWN) + "\n";
  return out;
}

std::string SyncPreview::Changes(const CSyncLink& link, bool firstRun) {
  const std::string indexPath = mConf.ConfigFolder() + link.LocalFileName() + ".dat";
  std::error_code code;
  const bool indexExisted = fs::exists(indexPath, code);
  if (!mStore.SelectFolderOf(link)) throw CMainException(IDS_FOLDER_SELECT_ERROR);
  int32_t status = kStoreOk;
  try {
    status = mStore.LoadContent(link.LocalFileName());
  } catch (...) {
    if (!indexExisted) fs::remove(indexPath, code);
    throw;
  }
  if (!indexExisted) fs::remove(indexPath, code);
  if (status != kStoreOk) throw CMainException(IDS_DATABASE_LOAD_ERROR);

  CChangeLog changeLog(mConf);
  // The anchor file is there (not a first run): reading it writes nothing.
  if (!firstRun) changeLog.InitAnchor(link.CompareMode(), link.LocalFileName());
  changeLog.CheckUpdate(mStore, firstRun);
  std::string out;
  for (const CChangeLogEntry& entry : changeLog.Entries()) {
    const bool deletion = entry.type == CChangeLogEntry::DELETED;
    const CDataItem::Ptr record = deletion ? mStore.mSavedItems.Find(entry.key) : mStore.mCurrentItems.Find(entry.key);
    // Contact groups stay local, as in a run.
    if (!record || record->kind == ITEM_GROUP) continue;
    const char* change = entry.type == CChangeLogEntry::NEW ? "add" : entry.type == CChangeLogEntry::UPDATED ? "update" : "delete";
    // The index keeps no kinds: a deleted event or task is named by its link's type.
    int kind = record->kind;
    if (deletion && link.mDataType != DATA_TYPE_CONTACTS) kind = link.mDataType == DATA_TYPE_EVENTS ? ITEM_EVENT : ITEM_TASK;
    out += std::string("  send ") + change + " " + KindName(kind) + " " + NameOf(*record) + "\n";
  }
  if (out.empty()) out = "  " + LoadString(IDS_PREVIEW_NOTHING) + "\n";
  return out;
}
