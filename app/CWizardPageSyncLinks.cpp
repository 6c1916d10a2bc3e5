// The Outlook links grid and the Windows Contacts link choice of a links page.
#include "app/CWizardPageSyncLinks.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/CConfigWizard.h"
#include "app/QtText.h"
#include "config/CConf.h"
#include "engine/CSyncLink.h"

namespace {

constexpr unsigned kHeadings[] = {IDS_SELECT_ADDRESS_BOOKS, IDS_SELECT_CALENDARS, IDS_SELECT_TASKS};
constexpr const char* kPageNames[] = {"contactsLinksPage", "eventsLinksPage", "tasksLinksPage"};

struct ModeChoice {
  unsigned textId;
  int mode;
  bool readOnlyAllowed;  // offered for a database that accepts no changes from the client
};
constexpr ModeChoice kOutlookModes[] = {{IDS_MODE_OFF, SYNC_MODE_OFF, true},
                                        {IDS_MODE_TWO_WAY, SYNC_MODE_TWO_WAY, false},
                                        {IDS_MODE_UPLOAD, SYNC_MODE_UPLOAD, false},
                                        {IDS_MODE_DOWNLOAD, SYNC_MODE_DOWNLOAD, true}};
constexpr ModeChoice kWindowsContactsModes[] = {{IDS_WAB_MODE_TWO_WAY, SYNC_MODE_TWO_WAY, false},
                                                {IDS_WAB_MODE_DOWNLOAD, SYNC_MODE_DOWNLOAD, true},
                                                {IDS_WAB_MODE_UPLOAD, SYNC_MODE_UPLOAD, false}};
constexpr int kReadOnlyRole = Qt::UserRole + 1;  // databaseCombo: the database is read-only
constexpr int kModeRole = Qt::UserRole + 2;      // databaseCombo: the link's mode

template <std::size_t N>
void FillModes(QComboBox& combo, const ModeChoice (&choices)[N], bool readOnly) {
  combo.clear();
  for (const ModeChoice& choice : choices) {
    if (!readOnly || choice.readOnlyAllowed) combo.addItem(TableText(choice.textId), choice.mode);
  }
}

QComboBox* NewCombo(const QString& name, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  return combo;
}

}  // namespace

CWizardPageSyncLinks::CWizardPageSyncLinks(int dataType, CConf& conf, CConfigWizard& wizard)
    : mDataType(dataType), mConf(conf), mWizard(wizard) {
  setObjectName(QString::fromLatin1(kPageNames[dataType]));
  new QVBoxLayout(this);
}

bool CWizardPageSyncLinks::UsesOutlook() const { return mConf.SyncWithOutlook() == LOCAL_APP_OUTLOOK; }

void CWizardPageSyncLinks::initializePage() {
  ClearContent();
  mContent = std::make_unique<QWidget>(this);
  layout()->addWidget(mContent.get());
  if (UsesOutlook()) {
    BuildGrid();
  } else {
    BuildWindowsContacts();
  }
}

void CWizardPageSyncLinks::ClearContent() {
  mContent.reset();  // its widgets go with it
  mGrid = nullptr;
  mDatabase = nullptr;
  mMode = nullptr;
}

void CWizardPageSyncLinks::BuildGrid() {
  mFolders = mWizard.Services().outlookFolders ? mWizard.Services().outlookFolders(mConf, mDataType) : std::vector<OutlookFolderInfo>{};
  mGrid = new QTableWidget(0, 3, mContent.get());
  mGrid->setObjectName(QStringLiteral("linkGrid"));
  mGrid->setHorizontalHeaderLabels({TableText(IDS_COLUMN_SERVER_FOLDER), TableText(IDS_COLUMN_OUTLOOK_FOLDER), TableText(IDS_COLUMN_SYNC_TYPE)});
  mGrid->verticalHeader()->setVisible(false);
  mGrid->setSelectionMode(QAbstractItemView::NoSelection);
  const std::vector<int> proposal = ProposeFolders(mConf.Links(), mDataType, mFolders);
  int row = 0;
  for (const CSyncLink& link : mConf.Links()) {
    if (link.mDataType == mDataType) {
      AddGridRow(row, link, proposal[static_cast<std::size_t>(row)]);
      ++row;
    }
  }
  // The drop lists show their whole texts ("Bi-directional Synchronization" in any language):
  // the mode column and the server names take what they need, the folders the rest.
  QHeaderView* header = mGrid->horizontalHeader();
  header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  header->setSectionResizeMode(1, QHeaderView::Stretch);
  header->setSectionResizeMode(2, QHeaderView::ResizeToContents);
  mGrid->resizeRowsToContents();
  auto* layout = new QVBoxLayout(mContent.get());
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(new QLabel(TableText(kHeadings[mDataType]), mContent.get()));
  layout->addWidget(mGrid);
}

// Row `row` starts with the proposed folder (ProposeFolders; -1 none). A link never set up that
// gets a folder starts in both directions (download only for a read-only database); a link
// without a folder, or whose mode the database does not allow, starts as "Don't synchronize".
void CWizardPageSyncLinks::AddGridRow(int row, const CSyncLink& link, int proposedFolder) {
  mGrid->insertRow(row);
  auto* server = new QTableWidgetItem(ToQString(link.ServerDisplayName()));
  server->setFlags(Qt::ItemIsEnabled);
  mGrid->setItem(row, 0, server);

  QComboBox* folder = NewCombo(QStringLiteral("folderCombo%1").arg(row), mGrid);
  for (const OutlookFolderInfo& info : mFolders) folder->addItem(ToQString(info.name));
  const int current = proposedFolder;
  folder->setCurrentIndex(current);
  mGrid->setCellWidget(row, 1, folder);

  QComboBox* mode = NewCombo(QStringLiteral("modeCombo%1").arg(row), mGrid);
  mode->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  FillModes(*mode, kOutlookModes, link.mReadOnly != 0);
  const bool neverSetUp = link.mMode == SYNC_MODE_OFF && link.mLocalEntryId.empty();
  const int proposedMode = neverSetUp ? (link.mReadOnly != 0 ? SYNC_MODE_DOWNLOAD : SYNC_MODE_TWO_WAY) : link.mMode;
  const int shown = current < 0 ? -1 : mode->findData(proposedMode);
  mode->setCurrentIndex(shown < 0 ? mode->findData(SYNC_MODE_OFF) : shown);
  mGrid->setCellWidget(row, 2, mode);
}

bool CWizardPageSyncLinks::ApplyGrid() {
  std::vector<LinkRow> rows;
  for (int row = 0; row < mGrid->rowCount(); ++row) {
    const auto* folder = static_cast<QComboBox*>(mGrid->cellWidget(row, 1));
    const auto* mode = static_cast<QComboBox*>(mGrid->cellWidget(row, 2));
    LinkRow edited;
    edited.mode = mode->currentIndex() < 0 ? SYNC_MODE_OFF : mode->currentData().toInt();
    edited.localName = folder->currentIndex() < 0 ? std::string() : folder->currentText().toStdString();
    rows.push_back(std::move(edited));
  }
  const LinkValidationResult result = ApplyOutlookRows(mConf.Links(), mDataType, rows, mFolders);
  if (result.Ok()) return true;
  mWizard.Prompts().Message(LoadString(result.messageId), PromptButtons::Ok, PromptKind::Warning);
  if (result.row) mGrid->cellWidget(static_cast<int>(*result.row), 1)->setFocus();
  return false;
}

// The database shown first: the Windows Contacts link's, else the default one.
void CWizardPageSyncLinks::BuildWindowsContacts() {
  mDatabase = NewCombo(QStringLiteral("databaseCombo"), mContent.get());
  mMode = NewCombo(QStringLiteral("modeCombo"), mContent.get());
  int preferred = -1;
  int defaultDatabase = -1;
  for (const CSyncLink& link : mConf.Links()) {
    if (link.mDataType != DATA_TYPE_CONTACTS) continue;
    const int index = mDatabase->count();
    mDatabase->addItem(ToQString(link.ServerDisplayName()), ToQString(link.mServerName));
    mDatabase->setItemData(index, link.mReadOnly != 0, kReadOnlyRole);
    mDatabase->setItemData(index, link.mMode, kModeRole);
    if (preferred < 0 && link.mClientApp == LOCAL_APP_WINDOWS_CONTACTS && link.mMode != SYNC_MODE_OFF) preferred = index;
    if (defaultDatabase < 0 && link.mServerName.empty()) defaultDatabase = index;
  }
  mDatabase->setCurrentIndex(preferred >= 0 ? preferred : defaultDatabase >= 0 ? defaultDatabase : (mDatabase->count() > 0 ? 0 : -1));
  FillWindowsContactsModes();
  connect(mDatabase, &QComboBox::currentIndexChanged, this, &CWizardPageSyncLinks::FillWindowsContactsModes);

  auto* layout = new QFormLayout(mContent.get());
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addRow(TableText(IDS_COLUMN_SERVER_FOLDER), mDatabase);
  layout->addRow(TableText(IDS_COLUMN_SYNC_TYPE), mMode);
}

// The modes the chosen database allows, the link's own mode preselected.
void CWizardPageSyncLinks::FillWindowsContactsModes() {
  const int index = mDatabase->currentIndex();
  const bool readOnly = index >= 0 && mDatabase->itemData(index, kReadOnlyRole).toBool();
  FillModes(*mMode, kWindowsContactsModes, readOnly);
  if (index < 0) return;
  // A database not synchronized yet starts with the first mode it allows (both directions).
  const int configured = mMode->findData(mDatabase->itemData(index, kModeRole));
  mMode->setCurrentIndex(configured >= 0 ? configured : 0);
}

bool CWizardPageSyncLinks::ApplyWindowsContacts() {
  if (mDatabase->currentIndex() < 0 || mMode->currentIndex() < 0) {
    mWizard.Prompts().Message(LoadString(IDS_NOTHING_TO_SYNC), PromptButtons::Ok, PromptKind::Warning);
    (mDatabase->currentIndex() < 0 ? mDatabase : mMode)->setFocus();
    return false;
  }
  ReplaceWithWindowsContactsLink(mConf.Links(), mDatabase->currentData().toString().toStdString(), mMode->currentData().toInt());
  return true;
}

bool CWizardPageSyncLinks::validatePage() { return mGrid != nullptr ? ApplyGrid() : ApplyWindowsContacts(); }

int CWizardPageSyncLinks::nextId() const {
  if (!UsesOutlook()) return -1;
  for (int later = mDataType + 1; later <= DATA_TYPE_TASKS; ++later) {
    if (mConf.IsDataTypeOn(later)) return CConfigWizard::LinksPageOf(later);
  }
  return -1;
}
