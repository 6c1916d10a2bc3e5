// Device information: the server's data stores classified into links that keep the user's
// settings, the client's own DevInf, and the database request exchange the wizard runs.
#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <set>

#include "common/StringTable.h"
#include "pim/CalendarRecordBuilder.h"
#include "pim/ContactRecordBuilder.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "syncml/DatabaseRequest.h"
#include "syncml/DeviceInfo.h"
#include "tests/syncml/CSyncMLTestSupport.h"

namespace {

const std::string kSamples = std::string(LARK_TEST_DATA) + "/peer-samples/syncevolution/";

SmlDataStore Store(std::optional<std::string> sourceRef, std::optional<std::string> type,
                   std::optional<std::vector<std::string>> syncTypes = std::nullopt) {
  SmlDataStore store;
  store.sourceRef = std::move(sourceRef);
  if (type) store.rxPref = SmlContentTypeRef{*type, "1.0"};
  if (syncTypes) store.syncCap = SmlSyncCap{*syncTypes};
  return store;
}

CSyncLink ConfiguredLink(const std::string& serverName, int dataType, const std::string& localPath) {
  CSyncLink link;
  link.mServerName = serverName;
  link.mDataType = dataType;
  link.mLocalPath = localPath;
  link.mLocalName = "Folder " + localPath;
  link.mMode = SYNC_MODE_TWO_WAY;
  link.mState = SYNC_STATE_SYNCHRONIZED;
  link.mLastSyncTime = 1765000000;
  return link;
}

TEST(DeviceInfo, DataStoresAreClassifiedByUriRootAndPreferredType) {
  struct Row {
    const char* uri;
    const char* type;
    std::optional<ServerDatabase> expected;
  };
  const Row rows[] = {
      {"./contacts", "text/x-vcard", ServerDatabase{0, "", false}},
      {"./contacts/Family", "text/x-vcard", ServerDatabase{0, "Family", false}},
      {"./contacts", "text/plain", std::nullopt},
      {"./events/corporate", "text/calendar", ServerDatabase{1, "corporate", false}},
      {"./events", "text/x-vcalendar", ServerDatabase{1, "", false}},
      {"./events", "text/x-vcard", std::nullopt},
      {"./tasks", "application/x-anything", ServerDatabase{2, "", false}},
      {"./notes", "text/plain", std::nullopt},
      // Forms of standard servers.
      {"contacts", "text/vcard", ServerDatabase{0, "", false}},
      {"./contacts", "text/directory", ServerDatabase{0, "", false}},
      {"calendar", "text/calendar", ServerDatabase{1, "", false}},
      {"./todo/work", "text/x-vcalendar", ServerDatabase{2, "work", false}},
      // Databases under names of their own are offered by those names.
      {"./work-contacts", "text/x-vcard", ServerDatabase{0, "work-contacts", false}},
      {"family", "text/vcard", ServerDatabase{0, "family", false}},
      {"./team-calendar", "text/calendar", ServerDatabase{1, "team-calendar", false}},
      {"./my-tasks", "text/calendar", ServerDatabase{2, "my-tasks", false}},
      {"./", "text/x-vcard", std::nullopt},
  };
  for (const Row& row : rows) EXPECT_EQ(ClassifyDataStore(Store(row.uri, row.type)), row.expected) << row.uri << " " << row.type;
  EXPECT_EQ(ClassifyDataStore(Store(std::nullopt, "text/x-vcard")), std::nullopt);
  EXPECT_EQ(ClassifyDataStore(Store("./contacts", std::nullopt)), std::nullopt);
}

TEST(DeviceInfo, StoreIsReadOnlyWhenItsSyncTypesLetTheClientSendNothing) {
  const auto readOnly = [](std::optional<std::vector<std::string>> types) {
    return ClassifyDataStore(Store("./contacts", "text/x-vcard", std::move(types)))->readOnly;
  };
  EXPECT_TRUE(readOnly(std::vector<std::string>{"5", "6", "7"}));
  EXPECT_TRUE(readOnly(std::vector<std::string>{"x", "04x"}));
  EXPECT_FALSE(readOnly(std::vector<std::string>{"", "7", "2"}));
  EXPECT_FALSE(readOnly(std::vector<std::string>{" 7 ", "\n 1\t"}));  // values as servers indent them
  EXPECT_FALSE(readOnly(std::nullopt));
}

TEST(DeviceInfo, LinksFollowTheServersOrderAndSurvivingLinksKeepTheirSettings) {
  CSyncLinkArray existing;
  existing.Add(ConfiguredLink("", DATA_TYPE_EVENTS, "Calendar"));
  existing.Add(ConfiguredLink("Gone", DATA_TYPE_CONTACTS, "Old"));
  SmlDevInf devInf;
  devInf.dataStores = {Store("./contacts/Family", "text/x-vcard", std::vector<std::string>{"7"}),
                       Store("./notes", "text/plain"), Store("./events", "text/calendar")};
  const CSyncLinkArray links = LinksFromDevInf(existing, devInf);
  ASSERT_EQ(links.Size(), 2u);
  EXPECT_EQ(links.At(0).mServerName, "Family");
  EXPECT_EQ(links.At(0).mDataType, DATA_TYPE_CONTACTS);
  EXPECT_EQ(links.At(0).mMode, SYNC_MODE_OFF);
  EXPECT_EQ(links.At(0).mReadOnly, 1);
  CSyncLink survivor = existing.At(0);
  EXPECT_EQ(links.At(1), survivor);
}

TEST(DeviceInfo, LinksRememberTheUriUnderWhichTheServerListsTheirDatabase) {
  CSyncLinkArray existing;
  existing.Add(ConfiguredLink("", DATA_TYPE_EVENTS, "Calendar"));
  CSyncLink listedAsCalendar = ConfiguredLink("", DATA_TYPE_EVENTS, "Other calendar");
  listedAsCalendar.SetServerUri("calendar");
  existing.Add(listedAsCalendar);
  SmlDevInf devInf;
  devInf.dataStores = {Store("contacts", "text/vcard"), Store("todo", "text/calendar"),
                       Store("calendar", "text/calendar"), Store("./events", "text/x-vcalendar")};
  const CSyncLinkArray links = LinksFromDevInf(existing, devInf);
  ASSERT_EQ(links.Size(), 4u);
  EXPECT_EQ(links.At(0).ServerUri(), "contacts");
  EXPECT_EQ(links.At(1).ServerUri(), "todo");
  EXPECT_EQ(links.At(1).mDataType, DATA_TYPE_TASKS);
  // Two databases with one name: each keeps the link that targets it (one that takes vCalendar
  // 1.0 only learns so).
  EXPECT_EQ(links.At(2), listedAsCalendar);
  CSyncLink vcalendarOnly = existing.At(0);
  vcalendarOnly.mCalendarVersion = "1.0";
  EXPECT_EQ(links.At(3), vcalendarOnly);
  EXPECT_TRUE(links.At(3).mServerUri.empty());

  // One configured link and two listed databases that both map to it: the one with its URI takes
  // it over, the other becomes a new link (not a second copy of the same folder).
  CSyncLinkArray one;
  one.Add(ConfiguredLink("", DATA_TYPE_EVENTS, "Calendar"));
  SmlDevInf both;
  both.dataStores = {Store("calendar", "text/calendar"), Store("./events", "text/x-vcalendar")};
  const CSyncLinkArray split = LinksFromDevInf(one, both);
  ASSERT_EQ(split.Size(), 2u);
  EXPECT_EQ(split.At(1).mLocalPath, one.At(0).mLocalPath);
  EXPECT_EQ(split.At(0).mMode, SYNC_MODE_OFF);
  EXPECT_TRUE(split.At(0).mLocalName.empty());
  EXPECT_EQ(split.At(0).ServerUri(), "calendar");
}

TEST(DeviceInfo, ClientDescribesItsLinkedFoldersOrTheTypeRoots) {
  TempDir dir;
  CConf conf(dir.Path());
  SmlDevInf devInf = ClientDevInf(conf, "client-identity");
  EXPECT_EQ(devInf.devId, "client-identity");
  EXPECT_EQ(devInf.verDtd, "1.1");
  EXPECT_TRUE(devInf.utc);
  ASSERT_EQ(devInf.dataStores.size(), 3u);
  EXPECT_EQ(devInf.dataStores[1].sourceRef, "./events");
  // Calendar items are read and written in the 2.0 form; the 1.0 form is still taken.
  EXPECT_EQ(devInf.dataStores[1].rxPref->ctType, "text/calendar");
  EXPECT_EQ(devInf.dataStores[1].txPref->verCt, "2.0");
  ASSERT_EQ(devInf.dataStores[1].rx.size(), 1u);
  EXPECT_EQ(devInf.dataStores[1].rx[0].ctType, "text/x-vcalendar");
  // Every type a store prefers has its properties listed, so a server keeps changed occurrences.
  for (const SmlDataStore& store : devInf.dataStores) {
    const auto cap = std::find_if(devInf.ctCaps.begin(), devInf.ctCaps.end(),
                                  [&](const SmlCtCap& c) { return c.ctType == store.rxPref->ctType; });
    ASSERT_NE(cap, devInf.ctCaps.end()) << store.rxPref->ctType.value_or("");
    EXPECT_FALSE(cap->properties.empty());
  }

  conf.Links().Add(ConfiguredLink("", DATA_TYPE_TASKS, "Tasks"));
  conf.Links().Add(ConfiguredLink("x", DATA_TYPE_TASKS, "Tasks"));
  devInf = ClientDevInf(conf, "id");
  ASSERT_EQ(devInf.dataStores.size(), 1u);
  EXPECT_EQ(devInf.dataStores[0].sourceRef, "Tasks");
  EXPECT_EQ(devInf.dataStores[0].displayName, "Folder Tasks");
  EXPECT_EQ(devInf.dataStores[0].syncCap->syncTypes, (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));

  // Item files are kept whole as vCard 3.0 and iCalendar 2.0: announced so, with every property
  // (a server sends a client only what its CTCap lists), the old forms still taken.
  TempDir vdirDir;
  CConf vdir(vdirDir.Path());
  vdir.SetSyncWithOutlook(LOCAL_APP_VDIR);
  devInf = ClientDevInf(vdir, "id");
  ASSERT_EQ(devInf.dataStores.size(), 3u);
  EXPECT_EQ(devInf.dataStores[0].rxPref, (SmlContentTypeRef{"text/vcard", "3.0"}));
  EXPECT_EQ(devInf.dataStores[0].txPref, (SmlContentTypeRef{"text/vcard", "3.0"}));
  EXPECT_EQ(devInf.dataStores[0].rx.front(), (SmlContentTypeRef{"text/x-vcard", "2.1"}));
  EXPECT_EQ(devInf.dataStores[1].rxPref, (SmlContentTypeRef{"text/calendar", "2.0"}));
  for (const auto& [typeName, propertyName] : {std::pair{"text/vcard", "X-EVOLUTION-FILE-AS"}, std::pair{"text/calendar", "DTSTAMP"}}) {
    const std::string type = typeName, property = propertyName;  // clang 14 cannot capture a structured binding
    const auto cap = std::find_if(devInf.ctCaps.begin(), devInf.ctCaps.end(), [&](const SmlCtCap& c) { return c.ctType == type; });
    ASSERT_NE(cap, devInf.ctCaps.end()) << type;
    EXPECT_TRUE(std::any_of(cap->properties.begin(), cap->properties.end(), [&](const SmlProperty& p) { return p.propName == property; }))
        << type << " " << property;
  }
}

class DatabaseRequest : public SessionFixture {
 protected:
  DatabaseRequestResult Request(const std::string& reply) {
    auto transport = std::make_unique<ScriptedTransport>();
    transport->Reply(reply);
    return RequestServerDatabases(mConf, mPrompt, std::move(transport));
  }

  // The links of the request saved, each synchronized both ways, in a configuration in `folder`.
  void SaveLinksIn(const std::string& folder) {
    CConf saved(folder);
    ASSERT_TRUE(saved.Load(true));
    saved.SetSyncAb(true);
    saved.SetSyncCal(true);
    saved.SetSyncTasks(true);
    for (CSyncLink link : mConf.Links()) {
      link.mMode = SYNC_MODE_TWO_WAY;
      saved.Links().Add(link);
    }
    saved.Save();
  }

  RecordingPrompt mPrompt;
};

// SyncEvolution's server receives iCalendar 2.0 besides its preferred vCalendar 1.0; Virtuoso's
// receives vCalendar 1.0 only: its calendar links write that.
TEST_F(DatabaseRequest, ACalendarDatabaseThatTakesVCalendarOnlyIsWrittenVCalendar) {
  ASSERT_EQ(Request(ReadFileBytes(kSamples + "04-get-devinf.response.xml")), DatabaseRequestResult::Succeeded);
  for (const CSyncLink& link : mConf.Links()) EXPECT_EQ(link.mCalendarVersion, "") << link.ServerUri();
  mConf.Links().Clear();
  const std::string virtuoso = std::string(LARK_TEST_DATA) + "/peer-samples/virtuoso/05-get-devinf11.response.xml";
  ASSERT_EQ(Request(ReadFileBytes(virtuoso)), DatabaseRequestResult::Succeeded);
  bool calendar = false;
  for (const CSyncLink& link : mConf.Links()) {
    EXPECT_EQ(link.mCalendarVersion, link.mDataType == DATA_TYPE_CONTACTS ? "" : "1.0") << link.ServerUri();
    calendar = calendar || link.mDataType != DATA_TYPE_CONTACTS;
  }
  EXPECT_TRUE(calendar);
  // Kept in the configuration file.
  TempDir folder;
  SaveLinksIn(folder.Path());
  CConf loaded(folder.Path());
  ASSERT_TRUE(loaded.Load(false));
  ASSERT_EQ(loaded.Links().Size(), mConf.Links().Size());
  for (std::size_t i = 0; i < loaded.Links().Size(); ++i) {
    EXPECT_EQ(loaded.Links().At(i).mCalendarVersion, mConf.Links().At(i).mCalendarVersion);
  }
}

TEST_F(DatabaseRequest, ServerDeviceInformationRebuildsTheLinks) {
  mConf.Links().Add(ConfiguredLink("", DATA_TYPE_CONTACTS, "Contacts"));
  mConf.Links().Add(ConfiguredLink("Family", DATA_TYPE_CONTACTS, "Family"));
  EXPECT_EQ(Request(ReadFileBytes(kSamples + "04-get-devinf.response.xml")), DatabaseRequestResult::Succeeded);
  ASSERT_EQ(mConf.Links().Size(), 3u);
  EXPECT_EQ(mConf.Links().At(0), ConfiguredLink("", DATA_TYPE_CONTACTS, "Contacts"));
  EXPECT_EQ(mConf.Links().At(1).mDataType, DATA_TYPE_EVENTS);
  EXPECT_EQ(mConf.Links().At(2).mDataType, DATA_TYPE_TASKS);
  EXPECT_TRUE(mPrompt.messages.empty());
}

// A server listing its databases the way standard servers do, without "./" and under the names
// "calendar" and "todo": the session of each link targets that database, also after the links
// went through the configuration file.
TEST_F(DatabaseRequest, DatabasesListedUnderTheirOwnUrisAreTheOnesTheSessionsTarget) {
  const auto dataStore = [](const std::string& uri, const std::string& type) {
    return "<DataStore><SourceRef>" + uri + "</SourceRef><Rx-Pref><CTType>" + type +
           "</CTType><VerCT>1.0</VerCT></Rx-Pref></DataStore>";
  };
  const std::string results =
      "<Results><CmdID>2</CmdID><MsgRef>1</MsgRef><CmdRef>1</CmdRef><Meta><Type xmlns='syncml:metinf'>"
      "application/vnd.syncml-devinf+xml</Type></Meta><Item><Source><LocURI>./devinf11</LocURI></Source><Data>"
      "<DevInf xmlns='syncml:devinf'><VerDTD>1.1</VerDTD>" +
      dataStore("contacts", "text/vcard") + dataStore("calendar", "text/calendar") +
      dataStore("todo", "text/x-vcalendar") + dataStore("./events/corporate", "text/calendar") +
      "</DevInf></Data></Item></Results>";
  ASSERT_EQ(Request(ServerMessage(1, results)), DatabaseRequestResult::Succeeded);
  const std::vector<std::string> uris = {"contacts", "calendar", "todo", "./events/corporate"};
  ASSERT_EQ(mConf.Links().Size(), uris.size());

  for (std::size_t i = 0; i < uris.size(); ++i) {
    auto session = MakeSession(1);
    session->SetTargetDatabase(mConf.Links().At(i).ServerUri());
    session->StartMessage(false);
    session->Alert("", "");
    session->StartSync();
    const ClientMessage message = NextMessage(*session);
    EXPECT_EQ(message.Named("Alert").at(0).alert.items.at(0).target->locUri, uris[i]);
    EXPECT_EQ(message.Named("Sync").at(0).sync.target->locUri, uris[i]);
  }

  TempDir folder;
  SaveLinksIn(folder.Path());
  CConf loaded(folder.Path());
  ASSERT_TRUE(loaded.Load(false));
  ASSERT_EQ(loaded.Links().Size(), uris.size());
  for (std::size_t i = 0; i < uris.size(); ++i) EXPECT_EQ(loaded.Links().At(i).ServerUri(), uris[i]);
  EXPECT_TRUE(loaded.Links().At(3).mServerUri.empty());
}

TEST_F(DatabaseRequest, UnsupportedVersionAsksForTheUpdateAndOtherErrorsAreShown) {
  const std::string tooOld = ServerMessage(1, StatusXml(1, "0", "SyncHdr", "513"));
  mPrompt.messageAnswer = PromptAnswer::Cancel;
  EXPECT_EQ(Request(tooOld), DatabaseRequestResult::UpdateDeclined);
  EXPECT_EQ(mConf.AppState(), 0);
  mPrompt.messageAnswer = PromptAnswer::Ok;
  EXPECT_EQ(Request(tooOld), DatabaseRequestResult::UpdateAccepted);
  EXPECT_EQ(mConf.AppState(), 1);
  EXPECT_EQ(mPrompt.messages.at(0), LoadString(IDS_UPDATE_AVAILABLE));

  EXPECT_EQ(Request(ServerMessage(1, StatusXml(1, "0", "SyncHdr", "401"))), DatabaseRequestResult::Failed);
  EXPECT_EQ(mPrompt.messages.back(), LoadString(IDS_AUTHENTICATION_ERROR));
  EXPECT_EQ(RequestServerDatabases(mConf, mPrompt, std::make_unique<ScriptedTransport>()), DatabaseRequestResult::Failed);
  EXPECT_EQ(mPrompt.messages.back(), "HTTP error 500 : no response from server.");
}

TEST_F(DatabaseRequest, AReplyWithoutDeviceInformationFailsAndResultsNotAskedForLeaveTheLinks) {
  mConf.Links().Add(ConfiguredLink("", DATA_TYPE_CONTACTS, "Contacts"));
  const CSyncLinkArray before = mConf.Links();
  const std::string results = "<Results><CmdID>2</CmdID><MsgRef>1</MsgRef><CmdRef>1</CmdRef><Item><Data>x</Data></Item></Results>";
  EXPECT_EQ(Request(ServerMessage(1, results)), DatabaseRequestResult::Failed);
  const std::string refused = StatusXml(1, "1", "Get", "403") ;
  EXPECT_EQ(Request(ServerMessage(1, StatusXml(2, "0", "SyncHdr", "212") + refused)), DatabaseRequestResult::Failed);
  EXPECT_EQ(mPrompt.messages, (std::vector<std::string>{LoadString(IDS_SYNCML_ERROR), LoadString(IDS_SYNCML_ERROR)}));
  EXPECT_EQ(mConf.Links(), before);

  auto session = MakeSession(1, &mStore);
  session->StartMessage(false);
  Exchange(*session, ReadFileBytes(kSamples + "04-get-devinf.response.xml"));
  EXPECT_EQ(mConf.Links(), before);
}

}  // namespace

namespace {

// The client's CTCaps name exactly what its records hold, and UID: of the rich items of a content
// type (a contact; an event and a task), a property is listed when leaving it out changes the
// record one of them reads as, and only then. A server that merges by CTCap then keeps the rest
// (BDAY, PHOTO, X- properties, an alarm's text); UID it sends, so that a changed occurrence finds
// its series.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find("\r\n", at), text.size());
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

std::string NameOf(const std::string& line) {
  std::string name = line.substr(0, line.find_first_of(";:"));
  if (const size_t dot = name.rfind('.'); dot != std::string::npos) name = name.substr(dot + 1);
  return name;
}

std::string Without(const std::vector<std::string>& lines, const std::string& name) {
  std::string text;
  for (const std::string& line : lines) {
    if (NameOf(line) != name) text += line + "\r\n";
  }
  return text;
}

ItemProperties ReadAs(const std::string& text, bool contact) {
  if (!contact) {
    const CDataItem::Ptr record = CalendarRecordBuilder::Build(text);
    return record ? record->properties : ItemProperties();
  }
  VCardContext context;
  const PVCardPtr card = Zep3_PVCard_FromStream(&context, text);
  CDataItem record;
  if (card) ContactRecordBuilder(record).Build(*card);
  return record.properties;
}

TEST(DeviceInfo, CapabilitiesListExactlyThePropertiesTheRecordsHold) {
  TempDir dir;
  CConf conf(dir.Path());
  const SmlDevInf devInf = ClientDevInf(conf, "id");
  const auto listed = [&devInf](const std::string& type) {
    std::set<std::string> names;
    for (const SmlCtCap& cap : devInf.ctCaps) {
      if (cap.ctType != type) continue;
      for (const SmlProperty& property : cap.properties) names.insert(property.propName.value_or(""));
    }
    return names;
  };
  const struct {
    const char* file;
    const char* type;
    bool contact;
  } kItems[] = {{"fidelity/contacts/rich-30.vcf", "text/x-vcard", true},
                {"fidelity/events/rich-meeting.ics", "text/calendar", false},
                {"fidelity/tasks/rich-task.ics", "text/calendar", false}};
  std::map<std::string, std::set<std::string>> present, held;
  for (const auto& item : kItems) {
    const std::string text = ReadFileBytes(std::string(LARK_TEST_DATA) + "/" + item.file);
    const std::vector<std::string> lines = Lines(text);
    const ItemProperties whole = ReadAs(text, item.contact);
    ASSERT_FALSE(whole.empty()) << item.file;
    for (const std::string& line : lines) {
      const std::string name = NameOf(line);
      if (name.empty() || name == "BEGIN" || name == "END" || name == "VERSION") continue;
      if (name == "UID") {
        EXPECT_EQ(listed(item.type).count(name), 1u) << item.type;
        continue;
      }
      present[item.type].insert(name);
      if (!(ReadAs(Without(lines, name), item.contact) == whole)) held[item.type].insert(name);
    }
  }
  for (const auto& [type, names] : present) {
    const std::set<std::string> capabilities = listed(type);
    for (const std::string& name : names) {
      const bool isHeld = held[type].count(name) == 1;
      EXPECT_EQ(capabilities.count(name) == 1, isHeld) << type << " " << name << (isHeld ? " is held" : " is not held");
    }
  }
}

}  // namespace
