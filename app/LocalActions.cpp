// The local actions and their command-line form.
#include "app/LocalActions.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <ostream>

#include "app/CSyncCommandLineInfo.h"
#include "app/SupportReport.h"
#include "common/CXException.h"
#include "common/Format.h"
#include "common/StringTable.h"
#include "common/TerminalText.h"
#include "config/CConf.h"
#include "engine/CSyncLink.h"
#include "engine/LocalSnapshots.h"
#include "engine/SnapshotRestore.h"
#include "engine/SyncPreview.h"
#include "stores/CDatabaseObject.h"
#include "stores/StoreFactory.h"

namespace {

// "20261210T093512.123456Z" as seconds since 1970.
std::int64_t StampTime(const std::string& stamp) {
  std::tm utc{};
  if (std::sscanf(stamp.c_str(), "%4d%2d%2dT%2d%2d%2d", &utc.tm_year, &utc.tm_mon, &utc.tm_mday, &utc.tm_hour, &utc.tm_min,
                  &utc.tm_sec) != 6) {
    return 0;
  }
  utc.tm_year -= 1900;
  utc.tm_mon -= 1;
  return static_cast<std::int64_t>(timegm(&utc));
}

}  // namespace

ActionResult LocalActions::Preview(int only) {
  ActionResult result;
  try {
    const std::unique_ptr<CDatabaseObject> store = mStores.CreateStore(mConf, mPrompt);
    if (store->mInitError != 0) return {false, LoadString(store->mInitError)};
    SyncPreview preview(mConf, *store);
    for (std::size_t index = 0; index < mConf.Links().Size(); ++index) {
      const CSyncLink& link = mConf.Links().At(index);
      if (only >= 0 && static_cast<std::size_t>(only) != index) continue;
      if (link.mMode == SYNC_MODE_OFF || link.mClientApp != mConf.SyncWithOutlook() || !mConf.IsDataTypeOn(link.mDataType)) continue;
      result.text += preview.OfLink(link, static_cast<int>(index + 1));
    }
  } catch (const CXException& error) {
    return {false, error.Message()};
  }
  if (result.text.empty()) result.text = LoadString(IDS_PREVIEW_NO_LINKS) + "\n";
  result.succeeded = true;
  return result;
}

std::string LocalActions::SnapshotTime(std::size_t index, int run) const {
  if (index >= mConf.Links().Size() || run < 1) return {};
  const std::vector<SnapshotFile> files = LocalSnapshots(mConf).List(mConf.Links().At(index));
  if (static_cast<std::size_t>(run) > files.size()) return {};
  return FormatLocalDateTime(StampTime(files[static_cast<std::size_t>(run) - 1].stamp));
}

ActionResult LocalActions::Restore(std::size_t index, int run) {
  if (index >= mConf.Links().Size() || run < 1) return {false, LoadString(IDS_RESTORE_NO_SNAPSHOT)};
  const CSyncLink link = mConf.Links().At(index);
  const std::vector<SnapshotFile> files = LocalSnapshots(mConf).List(link);
  if (static_cast<std::size_t>(run) > files.size()) return {false, LoadString(IDS_RESTORE_NO_SNAPSHOT)};
  const SnapshotFile& file = files[static_cast<std::size_t>(run) - 1];
  try {
    const std::unique_ptr<CDatabaseObject> store = mStores.CreateStore(mConf, mPrompt);
    if (store->mInitError != 0) throw CMainException(store->mInitError);
    const RestoreCounts counts = SnapshotRestore(mConf, *store).Restore(link, file.path);
    std::string text = FormatText(LoadString(IDS_RESTORE_DONE), {"sync_" + std::to_string(index + 1), FormatLocalDateTime(StampTime(file.stamp)),
                                                                 counts.rewritten, counts.recreated, counts.deleted});
    if (counts.failed > 0) {
      text += '\n';
      text += FormatText(LoadString(IDS_RESTORE_FAILED), {FormatText("%d items", {counts.failed})});
    }
    return {counts.failed == 0, text};
  } catch (const CXException& error) {
    return {false, FormatText(LoadString(IDS_RESTORE_FAILED), {error.Message()})};
  }
}

ActionResult LocalActions::Report(const std::string& path) {
  std::string error;
  if (!SupportReport(mConf).Save(path, error)) return {false, FormatText(LoadString(IDS_REPORT_FAILED), {error})};
  return {true, FormatText(LoadString(IDS_REPORT_SAVED), {path})};
}

int LocalActions::RunCommandLine(const CSyncCommandLineInfo& commandLine, std::ostream& out, std::ostream& err) {
  const std::string action = commandLine.Action();
  ActionResult result;
  if (action == CSyncCommandLineInfo::kPreview) {
    result = Preview();
  } else if (action == CSyncCommandLineInfo::kRestore) {
    const int number = commandLine.RestoreLink();
    if (number < 1 || static_cast<std::size_t>(number) > mConf.Links().Size()) {
      err << TerminalSafe(FormatText(LoadString(IDS_BAD_COMMAND_LINE), {"/restore: no link sync_" + std::to_string(number)})) << '\n';
      return kBadCommandLine;
    }
    result = Restore(static_cast<std::size_t>(number) - 1, commandLine.RestoreRun());
  } else if (action == CSyncCommandLineInfo::kReport) {
    result = Report(commandLine.Value(CSyncCommandLineInfo::kReport));
  } else {
    return kBadCommandLine;
  }
  std::string text = result.text;
  if (!text.empty() && text.back() != '\n') text += '\n';
  (result.succeeded ? out : err) << TerminalSafe(text, true);
  out.flush();
  return result.succeeded ? kDone : kFailed;
}
