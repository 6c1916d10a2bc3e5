// Message boxes, the database answer and page driving for the wizard tests.
#include "tests/app/WizardTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "engine/CSyncLink.h"

MessageBoxAnswerer::MessageBoxAnswerer(const char* answer) : button(answer) {
  EnsureQtApplication();
  mTimer.setInterval(0);
  QObject::connect(&mTimer, &QTimer::timeout, [this] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || box->objectName() != QLatin1String("promptMessage") || !box->isVisible()) return;
    auto* target = box->findChild<QPushButton*>(QString::fromLatin1(button));
    if (target == nullptr) return;
    texts.push_back(box->text().toStdString());
    target->click();
  });
  mTimer.start();
}

ScriptedReply DatabaseReply(const std::vector<OfferedDatabase>& databases, const std::string& headerStatus) {
  std::string stores;
  for (const OfferedDatabase& database : databases) {
    stores += "<DataStore><SourceRef>" + database.uri + "</SourceRef><Rx-Pref><CTType>" + database.ctType +
              "</CTType><VerCT>1.0</VerCT></Rx-Pref>";
    if (!database.syncTypes.empty()) {
      stores += "<SyncCap>";
      for (const std::string& type : database.syncTypes) stores += "<SyncType>" + type + "</SyncType>";
      stores += "</SyncCap>";
    }
    stores += "</DataStore>";
  }
  std::string body = "<Status><CmdID>1</CmdID><MsgRef>1</MsgRef><CmdRef>0</CmdRef><Cmd>SyncHdr</Cmd><Data>" +
                     headerStatus + "</Data></Status>";
  if (headerStatus == "200") {
    body += "<Results><CmdID>2</CmdID><MsgRef>1</MsgRef><CmdRef>1</CmdRef><Meta><Type xmlns='syncml:metinf'>"
            "application/vnd.syncml-devinf+xml</Type></Meta><Item><Source><LocURI>./devinf11</LocURI></Source><Data>"
            "<DevInf xmlns='syncml:devinf'><VerDTD>1.1</VerDTD>" +
            stores + "</DevInf></Data></Item></Results>";
  }
  return ScriptedReply::SyncMl(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SyncML xmlns='SYNCML:SYNCML1.1'><SyncHdr><VerDTD>1.1</VerDTD>"
      "<VerProto>SyncML/1.1</VerProto><SessionID>42</SessionID><MsgID>1</MsgID><Target><LocURI>client</LocURI></Target>"
      "<Source><LocURI>http://server/</LocURI></Source></SyncHdr><SyncBody>" +
      body + "<Final/></SyncBody></SyncML>");
}

std::vector<OfferedDatabase> DefaultDatabases(bool readOnlyContacts) {
  return {{"./contacts", "text/x-vcard", readOnlyContacts ? std::vector<std::string>{"7"} : std::vector<std::string>{"1", "2"}},
          {"./events", "text/x-vcalendar", {}},
          {"./tasks", "text/x-vcalendar", {}}};
}

WizardDriver::WizardDriver(CConf& conf, WizardServices services)
    : mWizard(std::make_unique<CConfigWizard>(conf, std::move(services))) {
  mWizard->show();
}

void WizardDriver::SetText(const char* edit, const std::string& text) {
  auto* field = Find<QLineEdit>(edit);
  ASSERT_NE(field, nullptr) << edit;
  field->setText(QString::fromStdString(text));
}

void WizardDriver::FillConnection(const std::string& url) {
  SetText("urlEdit", url);
  SetText("loginEdit", "user@example.org");
  SetText("passwordEdit", "secret");
}

void WizardDriver::Choose(const char* combo, const QString& text) {
  auto* box = Find<QComboBox>(combo);
  ASSERT_NE(box, nullptr) << combo;
  const int index = box->findText(text);
  ASSERT_GE(index, 0) << combo << ": " << text.toStdString();
  box->setCurrentIndex(index);
}

void WizardDriver::Click(const char* button) {
  auto* target = Find<QAbstractButton>(button);
  ASSERT_NE(target, nullptr) << button;
  ASSERT_TRUE(target->isVisible() && target->isEnabled()) << button;
  QTest::mouseClick(target, Qt::LeftButton);
}

bool WizardDriver::WaitForPage(int id) {
  return WaitFor([&] { return mWizard->currentId() == id; });
}

std::vector<OutlookFolderInfo> TestFolders(CConf&, int dataType) {
  const std::string kind = dataType == DATA_TYPE_CONTACTS ? "Contacts" : dataType == DATA_TYPE_EVENTS ? "Calendar" : "Tasks";
  return {{kind + " A", kind + "-a", "store-1", "/Personal/" + kind + " A"},
          {kind + " B", kind + "-b", "store-1", "/Personal/" + kind + " B"}};
}
