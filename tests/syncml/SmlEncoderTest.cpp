// Encoding of SyncML messages: the exact bytes of a first client message, namespace scoping,
// escaping and CDATA, and the workspace limit.
#include <gtest/gtest.h>

#include <string>

#include "syncml/SmlInstance.h"
#include "tests/syncml/SmlTestSupport.h"

namespace {

constexpr std::size_t kWorkspace = 64 * 1024;

SmlInstance MakeInstance(std::size_t workspace = kWorkspace) {
  return SmlInstance(SmlInstanceOptions{SmlEncoding::Xml, "EncoderTest", workspace}, SmlHandlers{}, nullptr);
}

SmlItem SourceItem(const std::string& locUri) {
  SmlItem item;
  item.source = SmlSource{locUri, std::nullopt};
  return item;
}

SmlMetInf TypeOnly(const std::string& type) {
  SmlMetInf metInf;
  metInf.type = type;
  return metInf;
}

SmlSyncHdr ClientHeader() {
  SmlSyncHdr header;
  header.verDtd = "1.1";
  header.verProto = "SyncML/1.1";
  header.sessionId = "Q7xk";
  header.msgId = "1";
  header.target.locUri = "https://sync.example.com/cgi-bin/vudireravaz";
  header.source = SmlSource{"VudirerAvaz", "VudirerAvaz1.0.0"};
  SmlMetInf credMeta;
  credMeta.format = "b64";
  credMeta.type = "syncml:auth-basic";
  header.cred = SmlCred{SmlPcdata::Of(credMeta), SmlPcdata::Plain("dXNlcjpwYXNz")};
  SmlMetInf meta;
  meta.maxMsgSize = "65536";
  header.meta = SmlPcdata::Of(meta);
  return header;
}

SmlAlert CalendarAlert() {
  SmlItem record;
  record.meta = SmlPcdata::Of(TypeOnly("syncml:filtertype-cgi"));
  record.data = SmlPcdata::Plain("SINCE&EQ;20260101");
  SmlFilter filter;
  filter.meta = SmlPcdata::Of(TypeOnly("text/calendar"));
  filter.filterType = "INCLUSIVE";
  filter.record.push_back(record);
  SmlItem item;
  item.target = SmlTarget{"./events", std::nullopt, filter};
  item.source = SmlSource{"Calendar", std::nullopt};
  SmlMetInf anchor;
  anchor.anchor = SmlAnchor{"41", "42"};
  item.meta = SmlPcdata::Of(anchor);
  SmlAlert alert;
  alert.cmdId = "1";
  alert.data = SmlPcdata::Plain("200");
  alert.items.push_back(item);
  return alert;
}

}  // namespace

TEST(SmlEncoder, FirstClientMessageIsWrittenByteForByte) {
  SmlInstance instance = MakeInstance();
  ASSERT_EQ(instance.StartMessage(ClientHeader()), SML_OK);
  ASSERT_EQ(instance.AddCommand(CalendarAlert()), SML_OK);

  SmlStatus status;
  status.cmdId = "2";
  status.msgRef = "1";
  status.cmdRef = "0";
  status.cmd = "SyncHdr";
  status.targetRefs = {"VudirerAvaz"};
  status.sourceRefs = {"https://sync.example.com/cgi-bin/vudireravaz"};
  status.data = SmlPcdata::Plain("200");
  ASSERT_EQ(instance.AddCommand(status), SML_OK);

  SmlMap map;
  map.cmdId = "3";
  map.target.locUri = "./contacts";
  map.source.locUri = "Contacts";
  map.mapItems.push_back(SmlMapItem{SmlTarget{"srv-17", std::nullopt, std::nullopt}, SmlSource{"loc-17", std::nullopt}});
  ASSERT_EQ(instance.AddCommand(map), SML_OK);

  SmlSync sync;
  sync.cmdId = "4";
  sync.target = SmlTarget{"./events", std::nullopt, std::nullopt};
  sync.source = SmlSource{"Calendar", std::nullopt};
  ASSERT_EQ(instance.StartSync(sync), SML_OK);
  SmlAdd add;
  add.cmdId = "5";
  add.items.push_back(SourceItem("loc-1"));
  add.items[0].meta = SmlPcdata::Of(TypeOnly("text/x-vcalendar"));
  add.items[0].data = SmlPcdata::Plain("BEGIN:VCALENDAR\r\nVERSION:1.0\r\nEND:VCALENDAR\r\n");
  ASSERT_EQ(instance.AddCommand(add), SML_OK);
  SmlReplace replace;
  replace.cmdId = "6";
  replace.items.push_back(SourceItem("loc-2"));
  replace.items[0].meta = SmlPcdata::Of(TypeOnly("text/x-vcard"));
  replace.items[0].data = SmlPcdata::Plain("BEGIN:VCARD\r\nFN:Smith & Sons <Ltd>\r\nEND:VCARD\r\n");
  ASSERT_EQ(instance.AddCommand(replace), SML_OK);
  SmlDelete del;
  del.cmdId = "7";
  del.items.push_back(SourceItem("loc-3"));
  ASSERT_EQ(instance.AddCommand(del), SML_OK);
  ASSERT_EQ(instance.EndSync(), SML_OK);
  ASSERT_EQ(instance.EndMessage(true), SML_OK);

  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SyncML xmlns='SYNCML:SYNCML1.1'><SyncHdr><VerDTD>1.1</VerDTD>"
      "<VerProto>SyncML/1.1</VerProto><SessionID>Q7xk</SessionID><MsgID>1</MsgID>"
      "<Target><LocURI>https://sync.example.com/cgi-bin/vudireravaz</LocURI></Target>"
      "<Source><LocURI>VudirerAvaz</LocURI><LocName>VudirerAvaz1.0.0</LocName></Source>"
      "<Cred><Meta><Format xmlns='syncml:metinf'>b64</Format><Type xmlns='syncml:metinf'>syncml:auth-basic</Type>"
      "</Meta><Data>dXNlcjpwYXNz</Data></Cred>"
      "<Meta><MaxMsgSize xmlns='syncml:metinf'>65536</MaxMsgSize></Meta></SyncHdr><SyncBody>"
      "<Alert><CmdID>1</CmdID><Data>200</Data><Item><Target><LocURI>./events</LocURI><Filter>"
      "<Meta><Type xmlns='syncml:metinf'>text/calendar</Type></Meta><FilterType>INCLUSIVE</FilterType>"
      "<Record><Item><Meta><Type xmlns='syncml:metinf'>syncml:filtertype-cgi</Type></Meta>"
      "<Data><![CDATA[SINCE&EQ;20260101]]></Data></Item></Record></Filter></Target>"
      "<Source><LocURI>Calendar</LocURI></Source>"
      "<Meta><Anchor xmlns='syncml:metinf'><Last>41</Last><Next>42</Next></Anchor></Meta></Item></Alert>"
      "<Status><CmdID>2</CmdID><MsgRef>1</MsgRef><CmdRef>0</CmdRef><Cmd>SyncHdr</Cmd>"
      "<TargetRef>VudirerAvaz</TargetRef><SourceRef>https://sync.example.com/cgi-bin/vudireravaz</SourceRef>"
      "<Data>200</Data></Status>"
      "<Map><CmdID>3</CmdID><Target><LocURI>./contacts</LocURI></Target><Source><LocURI>Contacts</LocURI></Source>"
      "<MapItem><Target><LocURI>srv-17</LocURI></Target><Source><LocURI>loc-17</LocURI></Source></MapItem></Map>"
      "<Sync><CmdID>4</CmdID><Target><LocURI>./events</LocURI></Target><Source><LocURI>Calendar</LocURI></Source>"
      "<Add><CmdID>5</CmdID><Item><Source><LocURI>loc-1</LocURI></Source>"
      "<Meta><Type xmlns='syncml:metinf'>text/x-vcalendar</Type></Meta>"
      "<Data>BEGIN:VCALENDAR\r\nVERSION:1.0\r\nEND:VCALENDAR\r\n</Data></Item></Add>"
      "<Replace><CmdID>6</CmdID><Item><Source><LocURI>loc-2</LocURI></Source>"
      "<Meta><Type xmlns='syncml:metinf'>text/x-vcard</Type></Meta>"
      "<Data><![CDATA[BEGIN:VCARD\r\nFN:Smith & Sons <Ltd>\r\nEND:VCARD\r\n]]></Data></Item></Replace>"
      "<Delete><CmdID>7</CmdID><Item><Source><LocURI>loc-3</LocURI></Source></Item></Delete>"
      "</Sync><Final/></SyncBody></SyncML>";
  EXPECT_EQ(OutputText(instance), expected);
}

TEST(SmlEncoder, DevInfInsideDataCarriesItsNamespaceAndItsChildrenDoNot) {
  SmlDataStore store;
  store.sourceRef = "./contacts";
  store.rxPref = SmlContentTypeRef{"text/x-vcard", "2.1"};
  store.syncCap = SmlSyncCap{{"1", "2"}};
  SmlDevInf devInf;
  devInf.verDtd = "1.1";
  devInf.devId = "VudirerAvaz";
  devInf.utc = true;
  devInf.dataStores.push_back(store);
  SmlResults results;
  results.cmdId = "2";
  results.cmdRef = "3";
  results.meta = SmlPcdata::Of(TypeOnly("application/vnd.syncml-devinf+xml"));
  results.items.push_back(SourceItem("./devinf11"));
  results.items[0].data = SmlPcdata::Of(devInf);

  SmlInstance instance = MakeInstance();
  ASSERT_EQ(instance.StartMessage(ClientHeader()), SML_OK);
  const std::size_t start = instance.OutputLength();
  ASSERT_EQ(instance.AddCommand(results), SML_OK);
  EXPECT_EQ(OutputText(instance).substr(start),
            "<Results><CmdID>2</CmdID><CmdRef>3</CmdRef>"
            "<Meta><Type xmlns='syncml:metinf'>application/vnd.syncml-devinf+xml</Type></Meta>"
            "<Item><Source><LocURI>./devinf11</LocURI></Source><Data><DevInf xmlns='syncml:devinf'>"
            "<VerDTD>1.1</VerDTD><DevID>VudirerAvaz</DevID><UTC/><DataStore><SourceRef>./contacts</SourceRef>"
            "<Rx-Pref><CTType>text/x-vcard</CTType><VerCT>2.1</VerCT></Rx-Pref>"
            "<SyncCap><SyncType>1</SyncType><SyncType>2</SyncType></SyncCap></DataStore></DevInf></Data></Item>"
            "</Results>");
}

TEST(SmlEncoder, MessageVersionSelectsTheRootNamespace) {
  for (const auto& [version, expected] : {std::pair{SmlVersion::V10, "SYNCML:SYNCML1.0"},
                                          std::pair{SmlVersion::V11, "SYNCML:SYNCML1.1"},
                                          std::pair{SmlVersion::V12, "SYNCML:SYNCML1.2"}}) {
    SmlInstance instance = MakeInstance();
    ASSERT_EQ(instance.StartMessage(ClientHeader(), version), SML_OK);
    EXPECT_NE(OutputText(instance).find(std::string("<SyncML xmlns='") + expected + "'><SyncHdr>"), std::string::npos);
  }
}

// Well-formed output: "&", "<" and ">" never appear raw in text; Data holding them travels as
// CDATA, split where it holds "]]>"; an empty value still writes its element.
TEST(SmlEncoder, TextIsEscapedAndDataWithMarkupCharactersBecomesCdata) {
  SmlAdd add;
  add.cmdId = "1";
  add.items.push_back(SourceItem("a&b<c>d"));
  add.items[0].target = SmlTarget{"", std::nullopt, std::nullopt};
  add.items[0].data = SmlPcdata::Plain("x]]>y");
  add.items[0].moreData = true;
  add.noResp = true;
  add.meta = SmlPcdata::Cdata("plain");
  SmlInstance instance = MakeInstance();
  ASSERT_EQ(instance.StartMessage(ClientHeader()), SML_OK);
  const std::size_t start = instance.OutputLength();
  ASSERT_EQ(instance.AddCommand(add), SML_OK);
  EXPECT_EQ(OutputText(instance).substr(start),
            "<Add><CmdID>1</CmdID><NoResp/><Meta><![CDATA[plain]]></Meta><Item>"
            "<Target><LocURI></LocURI></Target><Source><LocURI>a&amp;b&lt;c&gt;d</LocURI></Source>"
            "<Data><![CDATA[x]]]]><![CDATA[>y]]></Data><MoreData/></Item></Add>");
}

// XML 1.0 forbids the C0 controls but tab and line breaks, even in CDATA: a conforming server
// refuses the whole message. They never reach the wire.
TEST(SmlEncoder, ControlCharactersXmlForbidsNeverReachTheWire) {
  SmlAdd add;
  add.cmdId = "1";
  add.items.push_back(SourceItem(std::string("id\0\x01", 4)));
  add.items[0].data = SmlPcdata::Plain(std::string("BEGIN:VCARD\r\nTITLE:a\x0b" "b<c\x1f\tz\r\nEND:VCARD", 39));
  SmlInstance instance = MakeInstance();
  ASSERT_EQ(instance.StartMessage(ClientHeader()), SML_OK);
  const std::size_t start = instance.OutputLength();
  ASSERT_EQ(instance.AddCommand(add), SML_OK);
  EXPECT_EQ(OutputText(instance).substr(start),
            "<Add><CmdID>1</CmdID><Item><Source><LocURI>id</LocURI></Source>"
            "<Data><![CDATA[BEGIN:VCARD\r\nTITLE:ab<c\tz\r\nEND:VCARD]]></Data></Item></Add>");
}

TEST(SmlEncoder, CommandsOutOfOrderAreRefusedAndWriteNothing) {
  SmlInstance instance = MakeInstance();
  SmlStatus status;
  EXPECT_EQ(instance.AddCommand(status), SML_ERR_WRONG_STATE);
  EXPECT_EQ(instance.EndMessage(true), SML_ERR_WRONG_STATE);
  EXPECT_EQ(instance.EndSync(), SML_ERR_WRONG_STATE);
  ASSERT_EQ(instance.StartMessage(ClientHeader()), SML_OK);
  EXPECT_EQ(instance.StartMessage(ClientHeader()), SML_ERR_WRONG_STATE);
  ASSERT_EQ(instance.StartSync(SmlSync{}), SML_OK);
  EXPECT_EQ(instance.StartSync(SmlSync{}), SML_ERR_WRONG_STATE);
  const std::size_t length = instance.OutputLength();
  EXPECT_EQ(instance.EndMessage(true), SML_ERR_WRONG_STATE);
  EXPECT_EQ(instance.OutputLength(), length);
}

TEST(SmlEncoder, WritingWhileTheOutputIsLockedIsRefused) {
  SmlInstance instance = MakeInstance();
  ASSERT_EQ(instance.StartMessage(ClientHeader()), SML_OK);
  const char* data = nullptr;
  std::size_t length = 0;
  ASSERT_EQ(instance.LockOutput(data, length), SML_OK);
  EXPECT_EQ(instance.LockOutput(data, length), SML_ERR_BUFFER_LOCKED);
  EXPECT_EQ(instance.AddCommand(SmlStatus{}), SML_ERR_BUFFER_LOCKED);
  EXPECT_EQ(instance.UnlockOutput(length + 1), SML_ERR_INVALID_ARGUMENT);
  ASSERT_EQ(instance.UnlockOutput(length), SML_OK);
  EXPECT_EQ(instance.OutputLength(), 0u);
  EXPECT_EQ(instance.UnlockOutput(0), SML_ERR_WRONG_STATE);
}

// The workspace is allocated with exactly its size, so any write past it would be caught by the
// address sanitizer; the command that does not fit must leave the output as it was.
TEST(SmlEncoder, CommandPastTheWorkspaceFailsWithBufferFullAndLeavesOutputIntact) {
  SmlInstance instance = MakeInstance(1024);
  ASSERT_EQ(instance.StartMessage(ClientHeader()), SML_OK);
  SmlAdd add;
  add.cmdId = "1";
  add.items.push_back(SourceItem("id"));
  add.items[0].data = SmlPcdata::Plain(std::string(90, 'v'));
  SmlRet ret = SML_OK;
  int added = 0;
  while ((ret = instance.AddCommand(add)) == SML_OK) ++added;
  EXPECT_EQ(ret, SML_ERR_BUFFER_FULL);
  EXPECT_GT(added, 0);
  const std::string before = OutputText(instance);
  EXPECT_EQ(instance.AddCommand(add), SML_ERR_BUFFER_FULL);
  EXPECT_EQ(OutputText(instance), before);
  EXPECT_LE(before.size(), 1024u);
  // What still fits is written: the end of the message needs 20 bytes.
  const bool endFits = 1024 - before.size() >= 20;
  EXPECT_EQ(instance.EndMessage(false), endFits ? SML_OK : SML_ERR_BUFFER_FULL);
  EXPECT_EQ(OutputText(instance), endFits ? before + "</SyncBody></SyncML>" : before);
}
