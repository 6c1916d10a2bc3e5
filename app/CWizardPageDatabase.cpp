// Application choice and data-type rules of the database page.
#include "app/CWizardPageDatabase.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QVBoxLayout>

#include "app/CConfigWizard.h"
#include "app/QtText.h"
#include "config/CConf.h"
#include "engine/CSyncLink.h"

namespace {

constexpr unsigned kPeriodTexts[] = {IDS_PERIOD_WEEK, IDS_PERIOD_MONTH, IDS_PERIOD_3_MONTHS,
                                     IDS_PERIOD_6_MONTHS, IDS_PERIOD_YEAR, IDS_PERIOD_ALL};

QCheckBox* NewCheck(unsigned textId, const char* name, QWidget* parent) {
  auto* box = new QCheckBox(TableText(textId), parent);
  box->setObjectName(QString::fromLatin1(name));
  return box;
}

}  // namespace

CWizardPageDatabase::CWizardPageDatabase(CConf& conf, CConfigWizard& wizard)
    : mConf(conf),
      mWizard(wizard),
      mStartApplication(conf.SyncWithOutlook()),
      mApplication(new QComboBox(this)),
      mContacts(NewCheck(IDS_SYNC_CONTACTS, "contactsCheck", this)),
      mEvents(NewCheck(IDS_SYNC_EVENTS, "eventsCheck", this)),
      mTasks(NewCheck(IDS_SYNC_TASKS, "tasksCheck", this)),
      mPeriod(new QComboBox(this)) {
  setObjectName(QStringLiteral("databasePage"));
  mApplication->setObjectName(QStringLiteral("applicationCombo"));
  mPeriod->setObjectName(QStringLiteral("periodCombo"));
  for (unsigned id : kPeriodTexts) mPeriod->addItem(TableText(id));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(TableText(IDS_CHOOSE_APPLICATION), this));
  layout->addWidget(mApplication);
  layout->addWidget(mContacts);
  layout->addWidget(mEvents);
  layout->addWidget(mTasks);
  layout->addWidget(mPeriod);
  auto* note = new QLabel(TableText(IDS_PERIOD_MAY_BE_LIMITED), this);
  note->setWordWrap(true);
  layout->addWidget(note);
  layout->addStretch();

  FillApplications();
  connect(mApplication, &QComboBox::currentIndexChanged, this, &CWizardPageDatabase::OnApplicationChanged);
  connect(mEvents, &QCheckBox::toggled, mPeriod, &QWidget::setEnabled);
  // The Next or Finish button follows the boxes: the wizard looks at nextId() again only when the
  // page's final state is set.
  for (QCheckBox* box : {mContacts, mEvents, mTasks}) {
    connect(box, &QCheckBox::toggled, this, [this] { setFinalPage(nextId() == -1); });
  }
}

// With -1 both are selected in turn, so Outlook ends selected when it is present.
void CWizardPageDatabase::FillApplications() {
  const ApplicationAvailability& present = mWizard.Services().applications;
  if (present.windowsContacts) mApplication->addItem(TableText(IDS_APP_WINDOWS_CONTACTS), LOCAL_APP_WINDOWS_CONTACTS);
  if (present.outlook) mApplication->addItem(TableText(IDS_APP_OUTLOOK), LOCAL_APP_OUTLOOK);
  const int configured = mConf.SyncWithOutlook();
  mApplication->setCurrentIndex(configured == LOCAL_APP_NONE ? mApplication->count() - 1 : mApplication->findData(configured));
  mApplication->setEnabled(mApplication->count() > 0);
  mConf.SetSyncWithOutlook(SelectedApplication());
}

int CWizardPageDatabase::SelectedApplication() const {
  return mApplication->currentIndex() < 0 ? LOCAL_APP_NONE : mApplication->currentData().toInt();
}

void CWizardPageDatabase::initializePage() {
  mPeriod->setCurrentIndex(mConf.SyncPeriod());
  EvaluateChecks();
}

void CWizardPageDatabase::OnApplicationChanged() {
  mConf.SetSyncWithOutlook(SelectedApplication());
  EvaluateChecks();
}

void CWizardPageDatabase::EvaluateChecks() {
  const int application = SelectedApplication();
  const bool outlook = application == LOCAL_APP_OUTLOOK;
  struct Rule {
    QCheckBox* box;
    int dataType;
    bool configured;
  };
  // Nothing chosen yet (a new configuration): every data type the server offers.
  const bool nothingChosen = !mConf.SyncAb() && !mConf.SyncCal() && !mConf.SyncTasks();
  for (const Rule& rule : {Rule{mContacts, DATA_TYPE_CONTACTS, nothingChosen || mConf.SyncAb()},
                           Rule{mEvents, DATA_TYPE_EVENTS, nothingChosen || mConf.SyncCal()},
                           Rule{mTasks, DATA_TYPE_TASKS, nothingChosen || mConf.SyncTasks()}}) {
    const bool offered = mConf.HasLinkOfType(rule.dataType);
    rule.box->setEnabled(offered && outlook);
    // Windows Contacts has its one contacts link whenever the server offers contacts.
    const bool windowsContacts = application == LOCAL_APP_WINDOWS_CONTACTS && rule.dataType == DATA_TYPE_CONTACTS;
    rule.box->setChecked(offered && (outlook ? rule.configured : windowsContacts));
  }
  mPeriod->setEnabled(mEvents->isChecked());
}

bool CWizardPageDatabase::validatePage() {
  if (SelectedApplication() == LOCAL_APP_NONE) {
    mWizard.Prompts().Message(LoadString(IDS_NOTHING_TO_SYNC), PromptButtons::Ok, PromptKind::Warning);
    mApplication->setFocus();
    return false;
  }
  if (!mContacts->isChecked() && !mEvents->isChecked() && !mTasks->isChecked()) {
    mWizard.Prompts().Message(LoadString(IDS_NOTHING_TO_SYNC), PromptButtons::Ok, PromptKind::Warning);
    return false;
  }
  mConf.SetSyncAb(mContacts->isChecked());
  mConf.SetSyncCal(mEvents->isChecked());
  mConf.SetSyncTasks(mTasks->isChecked());
  if (SelectedApplication() != mStartApplication) mConf.SetAppChanged(true);
  if (mPeriod->currentIndex() >= 0) mConf.SetSyncPeriod(mPeriod->currentIndex());
  return true;
}

int CWizardPageDatabase::nextId() const {
  const bool outlook = SelectedApplication() == LOCAL_APP_OUTLOOK;
  if (mContacts->isChecked()) return CConfigWizard::LinksPageOf(DATA_TYPE_CONTACTS);
  if (outlook && mEvents->isChecked()) return CConfigWizard::LinksPageOf(DATA_TYPE_EVENTS);
  if (outlook && mTasks->isChecked()) return CConfigWizard::LinksPageOf(DATA_TYPE_TASKS);
  return -1;
}
