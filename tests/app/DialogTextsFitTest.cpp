// The conflict dialog, the tray menu, the options' schedule and the help viewer in every language:
// each label and button is at least as wide as its text needs (nothing cut off). With
// LARK_SCREENSHOT_DIR set, each window is also saved there as "<name>-<language>.png"
// (scripts/screenshots-dialogs runs this under Xvfb at 100% and 200%).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QTableWidget>
#include <cstdlib>
#include <memory>

#include "app/CConfDlg.h"
#include "app/CConflictDlg.h"
#include "app/CSystemTray.h"
#include "app/TextViewerDlg.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "tests/app/AppTestSupport.h"

namespace {

std::string LibraryPath(const std::string& code) { return LARK_BINARY_DIR "/bin/lang/resource." + code + ".so"; }

// The texts of `window` that do not fit their widget: labels narrower than their text (or, when they
// wrap, lower than their lines), buttons narrower than their text, table cells narrower than theirs.
std::vector<std::string> CutOff(QWidget& window) {
  std::vector<std::string> cut;
  for (QLabel* label : window.findChildren<QLabel*>()) {
    if (!label->isVisible()) continue;
    const bool cutShort = label->wordWrap() ? label->height() < label->heightForWidth(label->width())
                                            : label->width() < label->sizeHint().width();
    if (cutShort) {
      cut.push_back("label \"" + label->text().toStdString() + "\" " + std::to_string(label->width()) + "x" +
                    std::to_string(label->height()) + " needs " + std::to_string(label->heightForWidth(label->width())));
    }
  }
  for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    if (button->isVisible() && button->width() < button->sizeHint().width()) {
      cut.push_back("button \"" + button->text().toStdString() + "\"");
    }
  }
  for (QTableWidget* table : window.findChildren<QTableWidget*>()) {
    const QFontMetrics metrics(table->font());
    for (int row = 0; row < table->rowCount(); ++row) {
      for (int column = 0; column < table->columnCount(); ++column) {
        const QTableWidgetItem* cell = table->item(row, column);
        if (cell != nullptr && table->columnWidth(column) < metrics.horizontalAdvance(cell->text())) {
          cut.push_back("cell \"" + cell->text().toStdString() + "\"");
        }
      }
    }
    const QHeaderView* header = table->horizontalHeader();
    for (int column = 0; column < table->columnCount(); ++column) {
      const QString text = table->horizontalHeaderItem(column)->text();
      if (header->sectionSize(column) < QFontMetrics(header->font()).horizontalAdvance(text)) {
        cut.push_back("heading \"" + text.toStdString() + "\"");
      }
    }
  }
  return cut;
}

// Shows `window`, checks its texts and keeps a picture of it when asked to.
void CheckAndKeep(QWidget& window, const std::string& name, const std::string& language) {
  window.show();
  ASSERT_TRUE(WaitFor([&] { return window.isVisible(); }));
  QApplication::processEvents();
  EXPECT_EQ(CutOff(window), std::vector<std::string>{}) << name << " in " << language;
  if (const char* folder = std::getenv("LARK_SCREENSHOT_DIR"); folder != nullptr && *folder != '\0') {
    EXPECT_TRUE(window.grab().save(QString::fromStdString(std::string(folder) + "/" + name + "-" + language + ".png")));
  }
  window.hide();
}

class DialogTextsFit : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    EnsureQtApplication();
    if (GetParam() != "en") {
      ASSERT_TRUE(LoadLanguageLibrary(LibraryPath(GetParam())));
    }
  }
  void TearDown() override { FreeLanguageLibrary(); }
};

TEST_P(DialogTextsFit, ConflictDialogWithTheFieldsThatDiffer) {
  const ConflictQuestion contact{"Ann Lee", "annie", ConflictItemKind::Contact, "Example Groupware Server", true,
                                 {{"PR_BUSINESS_TELEPHONE_NUMBER", "+49 30 1234 5678", "+49 30 8765 4321"},
                                  {"PR_MOBILE_TELEPHONE_NUMBER", "+49 170 5555 0101", ""},
                                  {"EMAIL", "ann.lee@example.org, ann@home.example", "ann.lee@example.org"},
                                  {"BUSINESS_ADDRESS", "Hauptstr. 1, Berlin, 10115, Germany", "Hauptstr. 12, Berlin, 10115, Germany"},
                                  {"PR_COMMENT", "Met at the fair\nCall back in May", "Met at the fair"}}};
  CConflictDlg dialog(contact);
  CheckAndKeep(dialog, "conflict-contact", GetParam());
  const ConflictQuestion event{"Quarterly review", "", ConflictItemKind::Event, "sync.example.org", false, {}};
  CConflictDlg unknown(event);
  CheckAndKeep(unknown, "conflict-event-without-server-version", GetParam());
}

TEST_P(DialogTextsFit, TrayMenu) {
  CSystemTray tray(QIcon(QStringLiteral(":/larkspan/icon.png")));
  tray.SetTexts(QStringLiteral(" QuenorSync"), "QuenorSync");
  QMenu& menu = tray.Menu();
  menu.popup(QPoint(40, 40));
  ASSERT_TRUE(WaitFor([&] { return menu.isVisible(); }));
  for (QAction* action : menu.actions()) {
    if (action->isSeparator()) continue;
    EXPECT_GE(menu.actionGeometry(action).width(), menu.fontMetrics().horizontalAdvance(action->text().remove('&')))
        << action->text().toStdString();
  }
  CheckAndKeep(menu, "tray-menu", GetParam());
}

// The options with the hint on how to get crontab (no crontab on this PATH).
TEST_P(DialogTextsFit, OptionsWithTheScheduleHint) {
  TempDir folder;
  TempDir emptyBin;
  ScopedEnv path("PATH", emptyBin.Path());
  CConf conf(folder.Path());
  CConfDlg dialog(conf, "QuenorSync");
  ASSERT_NE(dialog.findChild<QLabel*>("cronHint"), nullptr);
  CheckAndKeep(dialog, "options-without-crontab", GetParam());
}

TEST_P(DialogTextsFit, HelpViewer) {
  TextViewerDlg viewer(QString::fromStdString(LoadString(IDS_HELP)),
                       QStringLiteral("LARKSPAN(1)                      User Commands                     LARKSPAN(1)\n\nNAME\n"
                                      "       larkspan - keep contacts, calendar events and tasks in step with a\n       SyncML server\n"));
  CheckAndKeep(viewer, "help", GetParam());
}

INSTANTIATE_TEST_SUITE_P(Languages, DialogTextsFit, ::testing::Values("en", "de", "fr"));

}  // namespace
