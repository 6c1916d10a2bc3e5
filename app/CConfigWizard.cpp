// The wizard's pages in order, its title and buttons.
#include "app/CConfigWizard.h"

#include <QAbstractButton>
#include <utility>

#include "app/CWizardPageConnection.h"
#include "app/CWizardPageDatabase.h"
#include "app/CWizardPageSyncLinks.h"
#include "app/LogViewerDlg.h"
#include "app/Mnemonics.h"
#include "app/QtText.h"
#include "config/CConf.h"
#include "engine/SyncDataType.h"

namespace {

struct ButtonText {
  QWizard::WizardButton button;
  unsigned textId;
  const char* name;
};
constexpr ButtonText kButtons[] = {{QWizard::BackButton, IDS_WIZARD_BACK, "backButton"},
                                   {QWizard::NextButton, IDS_WIZARD_NEXT, "nextButton"},
                                   {QWizard::FinishButton, IDS_WIZARD_FINISH, "finishButton"},
                                   {QWizard::CancelButton, IDS_CANCEL, "cancelButton"}};

}  // namespace

CConfigWizard::CConfigWizard(CConf& conf, WizardServices services, QWidget* parent)
    : QWizard(parent), mConf(conf), mServices(std::move(services)), mPrompt(conf.ProductName(), this), mConnectionPage(nullptr) {
  setObjectName(QStringLiteral("configWizard"));
  mPrompt.SetLogOpener([this] { LogViewerDlg::ShowLog(mConf.LogPath(), this); });
  setWindowTitle(TableText(IDS_CONFIGURATION_PANEL, conf.ProductName()));
  setWizardStyle(QWizard::ClassicStyle);
  setOption(QWizard::NoBackButtonOnStartPage);
  setMinimumSize(640, 440);
  QStringList texts;
  for (const ButtonText& text : kButtons) texts << TableText(text.textId);
  texts = WithMnemonics(texts);
  for (std::size_t i = 0; i < std::size(kButtons); ++i) {
    setButtonText(kButtons[i].button, texts[static_cast<qsizetype>(i)]);
    button(kButtons[i].button)->setObjectName(QString::fromLatin1(kButtons[i].name));
  }
  mConnectionPage = new CWizardPageConnection(conf, *this);
  setPage(kConnectionPage, mConnectionPage);
  setPage(kDatabasePage, new CWizardPageDatabase(conf, *this));
  for (int dataType : {DATA_TYPE_CONTACTS, DATA_TYPE_EVENTS, DATA_TYPE_TASKS}) {
    setPage(LinksPageOf(dataType), new CWizardPageSyncLinks(dataType, conf, *this));
  }
  setStartId(kConnectionPage);
}

// The check uses the prompt member, which goes before the pages do.
CConfigWizard::~CConfigWizard() { mConnectionPage->CancelCheck(); }

void CConfigWizard::reject() {
  mConnectionPage->CancelCheck();
  QWizard::reject();
}
