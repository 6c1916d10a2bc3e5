// Test fixture: a private profile reached through "Outlook.Application" and the typed wrappers,
// as the store adapter reaches it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/automation/AutomationDate.h"
#include "platform/automation/AutomationError.h"
#include "platform/automation/OutlookDispatch.h"
#include "platform/outlookmodel/OutlookModel.h"
#include "tests/support/TempDir.h"

inline double At(int year, int month, int day, int hour = 0, int minute = 0) {
  DateParts parts;
  parts.year = year;
  parts.month = month;
  parts.day = day;
  parts.hour = hour;
  parts.minute = minute;
  return DateFromParts(parts);
}

inline std::string StampText(double date) {
  char text[64];
  std::snprintf(text, sizeof text, "%.20f", date);
  return text;
}

// The automation error a call raises; code 0 and empty texts when it raises none.
inline AutomationError ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const AutomationError& error) {
    return error;
  }
  return AutomationError(0, "", "");
}

class OutlookFixture : public ::testing::Test {
 protected:
  OutlookFixture()
      : mProfile(mDir.File("outlookmodel/profile.db")),
        mProfileEnv("LARK_OUTLOOKMODEL_PROFILE", mProfile),
        mInstalledEnv("LARK_OUTLOOK_NOT_INSTALLED", std::nullopt),
        mApplication(Connect()),
        mNamespace(Logon(mApplication)) {}

  // A new, independent connection to the same profile (what another process would have).
  static outlook::Application Connect() {
    return outlook::Application(outlookmodel::MakeDefaultObjectFactory().CreateObject("Outlook.Application"));
  }
  static outlook::NameSpace Logon(const outlook::Application& application) {
    outlook::NameSpace session = application.GetNamespace("MAPI");
    session.Logon();
    return session;
  }

  outlook::MAPIFolder Contacts() const { return mNamespace.GetDefaultFolder(olFolderContacts); }
  outlook::MAPIFolder Calendar() const { return mNamespace.GetDefaultFolder(olFolderCalendar); }

  outlook::ContactItem NewContact(const std::string& fileAs, const std::string& email = "") const {
    const outlook::ContactItem contact(Contacts().GetItems().Add("IPM.Contact"));
    contact.SetFileAs(fileAs);
    if (!email.empty()) contact.SetEmail1Address(email);
    contact.Save();
    return contact;
  }

  TempDir mDir;
  std::string mProfile;
  ScopedEnv mProfileEnv;
  ScopedEnv mInstalledEnv;
  outlook::Application mApplication;
  outlook::NameSpace mNamespace;
};
