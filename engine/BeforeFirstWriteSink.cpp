// The step before a session's first local change.
#include "engine/BeforeFirstWriteSink.h"

void BeforeFirstWriteSink::BeforeWrite() {
  if (mDone) return;
  if (mBeforeFirstWrite) mBeforeFirstWrite();
  mDone = true;
}

bool BeforeFirstWriteSink::AddContact(PVCard& card, const std::string& serverId, const std::string& contentType,
                                      std::string& localId) {
  BeforeWrite();
  return mInner.AddContact(card, serverId, contentType, localId);
}

ContactWrite BeforeFirstWriteSink::ReplaceContact(PVCard& card, const std::string& contentType, std::string& localId) {
  BeforeWrite();
  return mInner.ReplaceContact(card, contentType, localId);
}

bool BeforeFirstWriteSink::AddCalendarItem(const std::string& vcalendarText, const std::string& serverId, std::string& localId) {
  BeforeWrite();
  return mInner.AddCalendarItem(vcalendarText, serverId, localId);
}

bool BeforeFirstWriteSink::ReplaceCalendarItem(const std::string& vcalendarText, std::string& localId) {
  BeforeWrite();
  return mInner.ReplaceCalendarItem(vcalendarText, localId);
}

ItemRemoval BeforeFirstWriteSink::RemoveItem(const std::string& localId) {
  BeforeWrite();
  return mInner.RemoveItem(localId);
}

bool BeforeFirstWriteSink::AddLocalCopy(const CDataItem& record, std::string& localId) {
  BeforeWrite();
  return mInner.AddLocalCopy(record, localId);
}
