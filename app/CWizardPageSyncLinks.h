// The wizard's page of sync links for one data type: a grid of the Outlook links, or the one
// Windows Contacts link.
#pragma once

#include <QWizardPage>
#include <memory>
#include <vector>

#include "engine/LinkValidation.h"

class CConf;
class CConfigWizard;
class CSyncLink;
class QComboBox;
class QLabel;
class QTableWidget;

// Skipped by the database page when its data type is off; with Windows Contacts only the
// contacts page is used. Built afresh each time it is entered:
// - Outlook: heading 238, 239 or 272 and "linkGrid", one row per configured link of the type:
//   "Server folder" (244), "Outlook folder" (245: drop list "folderCombo<row>" of the type's
//   folders) and "Synchronization type" (246: "modeCombo<row>", 247-250, only 247 and 250 for a
//   read-only database). A database not set up yet starts paired with a free folder of its kind
//   (ProposeFolders) in both directions. Leaving it forward validates and merges the rows (240-243).
// - Windows Contacts: "databaseCombo" (the server's contact databases; the configured one, else
//   the default one) and "modeCombo" (196-198; only 197 for a read-only database; the configured
//   mode, else the first allowed). Finish needs both and makes the one Windows Contacts link.
class CWizardPageSyncLinks final : public QWizardPage {
  Q_OBJECT

 public:
  CWizardPageSyncLinks(int dataType, CConf& conf, CConfigWizard& wizard);

  void initializePage() override;
  void cleanupPage() override {}
  bool validatePage() override;
  // The next links page switched on; -1 (Finish) when none.
  int nextId() const override;

 private:
  bool UsesOutlook() const;
  void ClearContent();
  void BuildGrid();
  void AddGridRow(int row, const CSyncLink& link, int proposedFolder);
  bool ApplyGrid();
  void BuildWindowsContacts();
  void FillWindowsContactsModes();
  bool ApplyWindowsContacts();

  const int mDataType;
  CConf& mConf;
  CConfigWizard& mWizard;
  std::unique_ptr<QWidget> mContent;  // the page's child, replaced on each entry
  QTableWidget* mGrid = nullptr;
  QComboBox* mDatabase = nullptr;
  QComboBox* mMode = nullptr;
  std::vector<OutlookFolderInfo> mFolders;
};
