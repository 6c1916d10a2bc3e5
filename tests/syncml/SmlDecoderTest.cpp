// Decoding of SyncML messages: replies as real servers send them, the reading rules, the error
// cases, the order of handler calls and stopping on a handler's code.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "syncml/SmlInstance.h"
#include "tests/syncml/SmlTestSupport.h"

namespace {

const std::string kSamples = std::string(LARK_TEST_DATA) + "/peer-samples/syncevolution/";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// Registers every handler, records the calls in order and keeps what it is given, through the
// user context. Recording stops the message at `stopOn` with `stopCode`.
struct Recorder {
  std::vector<std::string> calls;
  std::vector<std::unique_ptr<SmlSyncHdr>> headers;
  std::vector<std::unique_ptr<SmlStatus>> statuses;
  std::vector<std::unique_ptr<SmlAlert>> alerts;
  std::vector<std::unique_ptr<SmlSync>> syncs;
  std::vector<std::unique_ptr<SmlAdd>> adds;
  std::vector<std::unique_ptr<SmlReplace>> replaces;
  std::vector<std::unique_ptr<SmlDelete>> deletes;
  std::vector<std::unique_ptr<SmlCopy>> copies;
  std::vector<std::unique_ptr<SmlGet>> gets;
  std::vector<std::unique_ptr<SmlPut>> puts;
  std::vector<std::unique_ptr<SmlMap>> maps;
  std::vector<std::unique_ptr<SmlResults>> results;
  std::vector<std::unique_ptr<SmlAtomic>> atomics;
  std::vector<std::unique_ptr<SmlSequence>> sequences;
  bool final = false;
  std::string stopOn;
  SmlRet stopCode = SML_OK;

  SmlRet Note(const char* name) {
    calls.push_back(name);
    return stopOn == name ? stopCode : SmlRet{SML_OK};
  }

  template <class T>
  static SmlHandler<T> Keep(const char* name, std::vector<std::unique_ptr<T>> Recorder::*list) {
    return [name, list](void* context, std::unique_ptr<T> element) {
      auto* recorder = static_cast<Recorder*>(context);
      (recorder->*list).push_back(std::move(element));
      return recorder->Note(name);
    };
  }
  static SmlEndHandler End(const char* name) {
    return [name](void* context) { return static_cast<Recorder*>(context)->Note(name); };
  }

  SmlHandlers Handlers() const {
    SmlHandlers h;
    h.startMessage = Keep("StartMessage", &Recorder::headers);
    h.endMessage = [](void* context, bool isFinal) {
      static_cast<Recorder*>(context)->final = isFinal;
      return static_cast<Recorder*>(context)->Note("EndMessage");
    };
    h.startSync = Keep("StartSync", &Recorder::syncs);
    h.endSync = End("EndSync");
    h.addCmd = Keep("Add", &Recorder::adds);
    h.alertCmd = Keep("Alert", &Recorder::alerts);
    h.deleteCmd = Keep("Delete", &Recorder::deletes);
    h.getCmd = Keep("Get", &Recorder::gets);
    h.putCmd = Keep("Put", &Recorder::puts);
    h.mapCmd = Keep("Map", &Recorder::maps);
    h.resultsCmd = Keep("Results", &Recorder::results);
    h.statusCmd = Keep("Status", &Recorder::statuses);
    h.replaceCmd = Keep("Replace", &Recorder::replaces);
    h.copyCmd = Keep("Copy", &Recorder::copies);
    h.startAtomic = Keep("StartAtomic", &Recorder::atomics);
    h.endAtomic = End("EndAtomic");
    h.startSequence = Keep("StartSequence", &Recorder::sequences);
    h.endSequence = End("EndSequence");
    return h;
  }
};

// Feeds `message` to a fresh instance, as the session does, and processes it. The instance is
// gone when this returns: what the recorder holds must stand on its own.
SmlRet Decode(const std::string& message, Recorder& recorder, const SmlHandlers& handlers) {
  SmlInstance instance(SmlInstanceOptions{SmlEncoding::Xml, "DecoderTest", 4 << 20}, handlers, &recorder);
  EXPECT_EQ(instance.AppendInput(message), SML_OK);
  return instance.ProcessData();
}

SmlRet Decode(const std::string& message, Recorder& recorder) { return Decode(message, recorder, recorder.Handlers()); }

constexpr const char* kHeader =
    "<SyncHdr><VerDTD>1.1</VerDTD><VerProto>SyncML/1.1</VerProto><SessionID>9</SessionID><MsgID>2</MsgID>"
    "<Target><LocURI>client</LocURI></Target><Source><LocURI>http://server/</LocURI></Source></SyncHdr>";

// A message with the usual header and `body` inside SyncBody.
std::string Message(const std::string& body) {
  return std::string("<SyncML xmlns='SYNCML:SYNCML1.1'>") + kHeader + "<SyncBody>" + body + "</SyncBody></SyncML>";
}

constexpr const char* kStatus =
    "<Status><CmdID>1</CmdID><MsgRef>1</MsgRef><CmdRef>0</CmdRef><Cmd>SyncHdr</Cmd><Data>200</Data></Status>";

const SmlMetInf& MetInfOf(const SmlPcdata& content) {
  static const SmlMetInf kNone;
  return content.MetInf() != nullptr ? *content.MetInf() : kNone;
}

}  // namespace

// Both real servers' recorded messages, our requests and their replies. The second server writes
// its error replies without Final, its DevInf inline in the namespace of the DTD's URL.
TEST(SmlDecodeServerReplies, EveryRecordedMessageOfBothServersDecodesCompletely) {
  int decoded = 0;
  for (const char* peer : {"syncevolution", "virtuoso"}) {
    for (const auto& entry : std::filesystem::directory_iterator(std::string(LARK_TEST_DATA) + "/peer-samples/" + peer)) {
      const std::string name = entry.path().filename().string();
      if (entry.path().extension() != ".xml") continue;
      const std::string text = ReadFile(entry.path().string());
      Recorder recorder;
      EXPECT_EQ(Decode(text, recorder), SML_OK) << peer << "/" << name;
      ASSERT_FALSE(recorder.calls.empty()) << name;
      EXPECT_EQ(recorder.calls.front(), "StartMessage") << name;
      EXPECT_EQ(recorder.calls.back(), "EndMessage") << name;
      const bool errorReply = text.find("<Cmd>SyncHdr</Cmd>") != std::string::npos && text.find("<Data>40") != std::string::npos;
      if (std::string(peer) == "syncevolution" || !errorReply) {
        EXPECT_TRUE(recorder.final) << peer << "/" << name;
      }
      ++decoded;
    }
  }
  EXPECT_GE(decoded, 33 + 28);
}

TEST(SmlDecodeServerReplies, CheckReplyGivesHeaderChallengeAndDevInfRequest) {
  Recorder recorder;
  ASSERT_EQ(Decode(ReadFile(kSamples + "01-check.response.xml"), recorder), SML_OK);
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"StartMessage", "Status", "Get", "EndMessage"}));

  const SmlSyncHdr& header = *recorder.headers.at(0);
  EXPECT_EQ(header.verDtd, "1.1");
  EXPECT_EQ(header.msgId, "1");
  EXPECT_EQ(header.target.locUri, "IMEI:sample-client-0001");
  EXPECT_EQ(header.target.locName, "test");
  EXPECT_EQ(header.respUri, "http://127.0.0.1:18181/cgi-bin/sync?sessionid=5916835531796749819");
  EXPECT_EQ(MetInfOf(header.meta).maxMsgSize, "150000");
  EXPECT_EQ(MetInfOf(header.meta).maxObjSize, "4000000");

  const SmlStatus& status = *recorder.statuses.at(0);
  EXPECT_EQ(status.cmd, "SyncHdr");
  EXPECT_EQ(status.cmdRef, "0");
  EXPECT_EQ(status.data, SmlPcdata::Plain("212"));
  EXPECT_EQ(status.targetRefs, std::vector<std::string>{"http://127.0.0.1:18181/cgi-bin/sync"});
  ASSERT_TRUE(status.chal.has_value());
  EXPECT_EQ(MetInfOf(status.chal->meta).type, "syncml:auth-md5");
  EXPECT_EQ(MetInfOf(status.chal->meta).nextNonce, "PEAjMUIkISE=");

  const SmlGet& get = *recorder.gets.at(0);
  EXPECT_EQ(get.cmdId, "2");
  EXPECT_EQ(MetInfOf(get.meta).type, "application/vnd.syncml-devinf+xml");
  ASSERT_EQ(get.items.size(), 1u);
  EXPECT_EQ(get.items[0].target->locUri, "./devinf11");
}

TEST(SmlDecodeServerReplies, DevInfResultsGiveDataStoresAndContentTypeCapabilities) {
  Recorder recorder;
  ASSERT_EQ(Decode(ReadFile(kSamples + "04-get-devinf.response.xml"), recorder), SML_OK);
  ASSERT_EQ(recorder.results.size(), 1u);
  const SmlDevInf* devInf = recorder.results[0]->items.at(0).data.DevInf();
  ASSERT_NE(devInf, nullptr);
  EXPECT_EQ(devInf->man, "Patrick Ohly");
  EXPECT_TRUE(devInf->utc);
  EXPECT_TRUE(devInf->supportLargeObjs);
  ASSERT_EQ(devInf->dataStores.size(), 3u);
  const SmlDataStore& events = devInf->dataStores[1];
  EXPECT_EQ(events.sourceRef, "./events");
  EXPECT_EQ(events.rxPref, (SmlContentTypeRef{"text/x-vcalendar", "1.0"}));
  ASSERT_EQ(events.rx.size(), 1u);
  EXPECT_EQ(events.rx[0].ctType, "text/calendar");
  ASSERT_TRUE(events.syncCap.has_value());
  EXPECT_EQ(events.syncCap->syncTypes, (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7"}));

  // One CTCap element listing several content types gives one entry per CTType.
  ASSERT_GE(devInf->ctCaps.size(), 3u);
  const SmlCtCap& vcard = devInf->ctCaps[0];
  EXPECT_EQ(vcard.ctType, "text/x-vcard");
  ASSERT_GE(vcard.properties.size(), 3u);
  EXPECT_EQ(vcard.properties[0].propName, "BEGIN");
  EXPECT_EQ(vcard.properties[0].valEnums, std::vector<std::string>{"VCARD"});
  const auto tel = std::find_if(vcard.properties.begin(), vcard.properties.end(),
                                [](const SmlProperty& p) { return p.propName == "TEL"; });
  ASSERT_NE(tel, vcard.properties.end());
  ASSERT_GE(tel->params.size(), 2u);
  EXPECT_EQ(tel->params[0].paramName, "HOME");
  EXPECT_EQ(devInf->ctCaps[1].ctType, "text/vcard");
  // In the vCard 3.0 form the values follow a TYPE parameter and belong to it.
  const auto tel3 = std::find_if(devInf->ctCaps[1].properties.begin(), devInf->ctCaps[1].properties.end(),
                                 [](const SmlProperty& p) { return p.propName == "TEL"; });
  ASSERT_NE(tel3, devInf->ctCaps[1].properties.end());
  ASSERT_EQ(tel3->params.size(), 1u);
  EXPECT_EQ(tel3->params[0].paramName, "TYPE");
  EXPECT_GE(tel3->params[0].valEnums.size(), 5u);
  EXPECT_TRUE(tel3->valEnums.empty());
}

TEST(SmlDecodeServerReplies, SlowSyncReplyGivesDevInfPutAlertAnchorAndCdataItem) {
  Recorder recorder;
  ASSERT_EQ(Decode(ReadFile(kSamples + "05-slow-sync-msg1.response.xml"), recorder), SML_OK);
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"StartMessage", "Status", "Status", "Status", "Status", "Put",
                                                      "Alert", "StartSync", "Add", "EndSync", "EndMessage"}));
  ASSERT_NE(recorder.puts.at(0)->items.at(0).data.DevInf(), nullptr);

  const SmlAlert& alert = *recorder.alerts.at(0);
  EXPECT_EQ(alert.data, SmlPcdata::Plain("201"));
  const SmlMetInf& alertMeta = MetInfOf(alert.items.at(0).meta);
  ASSERT_TRUE(alertMeta.anchor.has_value());
  EXPECT_EQ(alertMeta.anchor->next, "20261208T171020Z");
  EXPECT_FALSE(alertMeta.anchor->last.has_value());

  const SmlSync& sync = *recorder.syncs.at(0);
  EXPECT_EQ(sync.cmdId, "7");
  EXPECT_EQ(sync.target->locUri, "./contacts");

  const SmlItem& item = recorder.adds.at(0)->items.at(0);
  EXPECT_EQ(MetInfOf(recorder.adds[0]->meta).type, "text/x-vcard");
  EXPECT_EQ(item.source->locUri, "stdin-1796749820335600059.vcf");
  EXPECT_EQ(item.data.kind, SmlContentKind::Cdata);
  EXPECT_EQ(item.data.text.substr(0, 25), "BEGIN:VCARD\r\nVERSION:2.1\r");
  EXPECT_EQ(item.data.text.substr(item.data.text.size() - 11), "END:VCARD\r\n");

  // Markup inside a Data other than a DevInf arrives as its verbatim text.
  const SmlPcdata& anchorData = recorder.statuses.at(1)->items.at(0).data;
  EXPECT_EQ(anchorData.kind, SmlContentKind::Plain);
  EXPECT_NE(anchorData.text.find("<Anchor xmlns='syncml:metinf'>"), std::string::npos);
  EXPECT_NE(anchorData.text.find("<Next>20261208T100000Z</Next>"), std::string::npos);
}

TEST(SmlDecodeServerReplies, IndentedFormDecodesLikeTheCompactForm) {
  for (const char* name : {"01-check", "04-get-devinf", "06-slow-sync-msg2", "08-two-way-msg2", "10-alert-unknown-db"}) {
    Recorder compact;
    Recorder indented;
    ASSERT_EQ(Decode(ReadFile(kSamples + name + ".response.xml"), compact), SML_OK) << name;
    ASSERT_EQ(Decode(ReadFile(kSamples + name + ".response.pretty.xml"), indented), SML_OK) << name;
    EXPECT_EQ(compact.calls, indented.calls) << name;
    EXPECT_EQ(*compact.headers.at(0), *indented.headers.at(0)) << name;
    ASSERT_EQ(compact.statuses.size(), indented.statuses.size()) << name;
    for (std::size_t i = 0; i < compact.statuses.size(); ++i) EXPECT_EQ(*compact.statuses[i], *indented.statuses[i]);
    for (std::size_t i = 0; i < compact.results.size(); ++i) EXPECT_EQ(*compact.results[i], *indented.results[i]);
  }
}

TEST(SmlDecodeReadingRules, PrologCommentsInstructionsAndDoctypeAreSkipped) {
  const std::string message =
      "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8' standalone='yes'?>\n<!-- recorded -->\n<?trace on?>\n"
      "<!DOCTYPE SyncML PUBLIC \"-//SYNCML//DTD SyncML 1.1//EN\" \"http://www.syncml.org/docs/syncml_represent_v11.dtd\">\n"
      "<SyncML xmlns=\"SYNCML:SYNCML1.1\"><!-- c --><?pi x?>" + std::string(kHeader) +
      "<SyncBody><!-- before -->" + kStatus + "<Final/><?pi?></SyncBody></SyncML>\n<!-- after -->\n";
  Recorder recorder;
  EXPECT_EQ(Decode(message, recorder), SML_OK);
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"StartMessage", "Status", "EndMessage"}));
  EXPECT_TRUE(recorder.final);
}

TEST(SmlDecodeReadingRules, NamespacePrefixesAndTheOtherSyncMlVersionsAreAccepted) {
  const std::string prefixed =
      "<s:SyncML xmlns:s='SYNCML:SYNCML1.1' xmlns:m='syncml:metinf'><s:SyncHdr><s:VerDTD>1.1</s:VerDTD>"
      "<s:VerProto>SyncML/1.1</s:VerProto><s:SessionID>1</s:SessionID><s:MsgID>1</s:MsgID>"
      "<s:Target><s:LocURI>c</s:LocURI></s:Target><s:Source><s:LocURI>s</s:LocURI></s:Source>"
      "<s:Meta><m:MaxMsgSize>5000</m:MaxMsgSize></s:Meta></s:SyncHdr><s:SyncBody><s:Final/></s:SyncBody></s:SyncML>";
  Recorder recorder;
  ASSERT_EQ(Decode(prefixed, recorder), SML_OK);
  EXPECT_EQ(MetInfOf(recorder.headers.at(0)->meta).maxMsgSize, "5000");

  for (const char* ns : {"SYNCML:SYNCML1.2", "SYNCML:SYNCML1.0", "syncml:syncml1.1", "SyncML:SyncML1.1"}) {
    Recorder other;
    std::string message = Message(kStatus);
    message.replace(message.find("SYNCML:SYNCML1.1"), 16, ns);
    EXPECT_EQ(Decode(message, other), SML_OK) << ns;
  }
  // The other vocabularies in any letter case, or named by their DTD's URL; other names fail.
  const auto headerWithMeta = [](const std::string& ns) {
    return "<SyncML xmlns='syncml:syncml1.1'><SyncHdr><VerDTD>1.1</VerDTD><VerProto>SyncML/1.1</VerProto>"
           "<SessionID>1</SessionID><MsgID>1</MsgID><Target><LocURI>c</LocURI></Target><Source><LocURI>s</LocURI>"
           "</Source><Meta><MaxMsgSize xmlns='" + ns + "'>9000</MaxMsgSize></Meta></SyncHdr><SyncBody><Final></Final>"
           "</SyncBody></SyncML>";
  };
  for (const char* ns : {"SYNCML:METINF", "syncml:MetInf", "http://www.syncml.org/docs/syncml_metinf_v11_20020215.dtd"}) {
    Recorder other;
    ASSERT_EQ(Decode(headerWithMeta(ns), other), SML_OK) << ns;
    EXPECT_EQ(MetInfOf(other.headers.at(0)->meta).maxMsgSize, "9000") << ns;
    EXPECT_TRUE(other.final) << ns;
  }
  Recorder unknown;
  EXPECT_EQ(Decode(headerWithMeta("urn:example:other"), unknown), SML_ERR_BAD_NAMESPACE);
  // MetInf elements whose namespace the server left out are still read as MetInf.
  Recorder lenient;
  ASSERT_EQ(Decode(Message("<Get><CmdID>1</CmdID><Meta><Type>application/vnd.syncml-devinf+xml</Type></Meta></Get>"),
                   lenient),
            SML_OK);
  EXPECT_EQ(MetInfOf(lenient.gets.at(0)->meta).type, "application/vnd.syncml-devinf+xml");
}

TEST(SmlDecodeReadingRules, ReferencesAreDecodedAndALoneAmpersandIsKept) {
  Recorder recorder;
  ASSERT_EQ(Decode(Message("<Add><CmdID>1</CmdID><Item><Source><LocURI>a&amp;b</LocURI></Source><Data>"
                           "N:A&amp;B&lt;C&gt;&quot;&apos;&#65;&#x42;&#x20AC;|AT&T &nbsp; &#xD800; &#; &amp</Data>"
                           "</Item></Add>"),
                   recorder),
            SML_OK);
  const SmlItem& item = recorder.adds.at(0)->items.at(0);
  EXPECT_EQ(item.source->locUri, "a&b");
  EXPECT_EQ(item.data, SmlPcdata::Plain("N:A&B<C>\"'AB\xE2\x82\xAC|AT&T &nbsp; &#xD800; &#; &amp"));
}

TEST(SmlDecodeReadingRules, CdataArrivesWithoutMarkersAndMixedContentIsJoined) {
  Recorder recorder;
  ASSERT_EQ(Decode(Message("<Add><CmdID>1</CmdID><Item><Data>\n  <![CDATA[a<b>&amp;]]><![CDATA[]]]]><![CDATA[>]]>\n"
                           "</Data></Item><Item><Data>x&lt;<![CDATA[&]]>y</Data></Item>"
                           "<Item><Meta>text/x-vcard</Meta><Data/></Item></Add>"),
                   recorder),
            SML_OK);
  const SmlAdd& add = *recorder.adds.at(0);
  EXPECT_EQ(add.items.at(0).data, SmlPcdata::Cdata("a<b>&amp;]]>"));
  EXPECT_EQ(add.items.at(1).data, SmlPcdata::Plain("x<&y"));
  EXPECT_EQ(add.items.at(2).meta, SmlPcdata::Plain("text/x-vcard"));
  EXPECT_EQ(add.items.at(2).data, SmlPcdata::Plain(""));
}

TEST(SmlDecodeReadingRules, LeafBeginningWithMarkupKeepsItsContentVerbatim) {
  Recorder recorder;
  ASSERT_EQ(Decode(Message("<Alert><CmdID>1</CmdID><Data> <b>x &amp; <Data/></b><!--c--> tail </Data>"
                           "<Item><Target><LocURI><u>./a</u></LocURI></Target></Item></Alert>"),
                   recorder),
            SML_OK);
  const SmlAlert& alert = *recorder.alerts.at(0);
  EXPECT_EQ(alert.data, SmlPcdata::Plain(" <b>x &amp; <Data/></b><!--c--> tail "));
  EXPECT_EQ(alert.items.at(0).target->locUri, "<u>./a</u>");
}

TEST(SmlDecodeReadingRules, ChildrenMayComeInAnyOrderAndAMetInfWrapperIsRead) {
  Recorder recorder;
  ASSERT_EQ(Decode(Message("<Status><Data>201</Data><Cmd>Add</Cmd><SourceRef>7</SourceRef><CmdID>4</CmdID>"
                           "<SourceRef>8</SourceRef></Status><Put><Item/><Meta><MetInf xmlns='syncml:metinf'>"
                           "<Type>t</Type><Mem><FreeID>3</FreeID><SharedMem/></Mem></MetInf></Meta><CmdID>5</CmdID></Put>"),
                   recorder),
            SML_OK);
  const SmlStatus& status = *recorder.statuses.at(0);
  EXPECT_EQ(status.cmdId, "4");
  EXPECT_EQ(status.sourceRefs, (std::vector<std::string>{"7", "8"}));
  const SmlMetInf& meta = MetInfOf(recorder.puts.at(0)->meta);
  EXPECT_EQ(meta.type, "t");
  ASSERT_TRUE(meta.mem.has_value());
  EXPECT_EQ(meta.mem->freeId, "3");
  EXPECT_TRUE(meta.mem->sharedMem);
}

TEST(SmlDecodeHandlers, HandlersRunInDocumentOrderWithSyncAtomicAndSequence) {
  const std::string body =
      std::string(kStatus) +
      "<Alert><CmdID>2</CmdID><Data>200</Data></Alert>"
      "<Sync><CmdID>3</CmdID><Target><LocURI>./contacts</LocURI></Target>"
      "<Add><CmdID>4</CmdID><Item><Data>a</Data></Item></Add>"
      "<Atomic><CmdID>5</CmdID><Replace><CmdID>6</CmdID><Item/></Replace><Delete><CmdID>7</CmdID><Item/></Delete></Atomic>"
      "<Sequence><CmdID>8</CmdID><Copy><CmdID>9</CmdID><Item/></Copy></Sequence></Sync>"
      "<Sync/>"
      "<Get><CmdID>10</CmdID></Get><Put><CmdID>11</CmdID></Put><Results><CmdID>12</CmdID></Results>"
      "<Map><CmdID>13</CmdID><Target><LocURI>t</LocURI></Target><Source><LocURI>s</LocURI></Source>"
      "<MapItem><Target><LocURI>1</LocURI></Target><Source><LocURI>2</LocURI></Source></MapItem></Map><Final/>";
  Recorder recorder;
  ASSERT_EQ(Decode(Message(body), recorder), SML_OK);
  EXPECT_EQ(recorder.calls,
            (std::vector<std::string>{"StartMessage", "Status", "Alert", "StartSync", "Add", "StartAtomic", "Replace",
                                      "Delete", "EndAtomic", "StartSequence", "Copy", "EndSequence", "EndSync",
                                      "StartSync", "EndSync", "Get", "Put", "Results", "Map", "EndMessage"}));
  EXPECT_EQ(recorder.syncs.at(0)->target->locUri, "./contacts");
  EXPECT_EQ(recorder.atomics.at(0)->cmdId, "5");
  EXPECT_EQ(recorder.maps.at(0)->mapItems.at(0).source->locUri, "2");
}

TEST(SmlDecodeHandlers, CancelCodeFromAHandlerStopsTheRestOfTheMessage) {
  Recorder recorder;
  recorder.stopOn = "Add";
  recorder.stopCode = SML_CANCEL;
  const std::string body = std::string(kStatus) +
                           "<Sync><Add><CmdID>2</CmdID><Item/></Add><Add><CmdID>3</CmdID><Item/></Add></Sync>"
                           "<Alert><CmdID>4</CmdID></Alert><Final/>";
  EXPECT_EQ(Decode(Message(body), recorder), SML_CANCEL);
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"StartMessage", "Status", "StartSync", "Add"}));
  EXPECT_FALSE(recorder.final);
}

TEST(SmlDecodeHandlers, CommandWithoutHandlerStopsAfterTheCommandsBeforeIt) {
  SmlHandlers sessionLike = Recorder().Handlers();
  sessionLike.startAtomic = nullptr;
  sessionLike.endAtomic = nullptr;
  sessionLike.startSequence = nullptr;
  sessionLike.copyCmd = nullptr;
  const std::string afterStatus = std::string(kStatus) + "<Alert><CmdID>2</CmdID></Alert>";
  for (const std::string command : {"<Atomic><CmdID>3</CmdID><Add><CmdID>4</CmdID><Item/></Add></Atomic>",
                                    "<Sequence><CmdID>3</CmdID></Sequence>", "<Copy><CmdID>3</CmdID><Item/></Copy>",
                                    "<Exec><CmdID>3</CmdID><Item/></Exec>", "<Search><CmdID>3</CmdID></Search>"}) {
    Recorder recorder;
    EXPECT_EQ(Decode(Message(afterStatus + command + "<Alert><CmdID>9</CmdID></Alert>"), recorder, sessionLike),
              SML_ERR_NOT_HANDLED)
        << command;
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"StartMessage", "Status", "Alert"})) << command;
  }
}

struct DecodeFailure {
  const char* what;
  std::string message;
  SmlRet code;
};

TEST(SmlDecodeErrors, EachFaultEndsDecodingWithItsCode) {
  const std::string header = kHeader;
  const std::vector<DecodeFailure> cases = {
      {"unknown child in Status", Message("<Status><CmdID>1</CmdID><Cmd>Add</Cmd><Data>200</Data><Bogus/></Status>"),
       SML_ERR_UNEXPECTED_CONTENT},
      {"MetInf element in a Status", Message("<Status><CmdID>1</CmdID><Cmd>Add</Cmd><Data>2</Data><Type>x</Type></Status>"),
       SML_ERR_UNEXPECTED_CONTENT},
      {"repeated CmdID", Message("<Alert><CmdID>1</CmdID><CmdID>2</CmdID></Alert>"), SML_ERR_UNEXPECTED_CONTENT},
      {"text among children", Message("<Alert>text<CmdID>1</CmdID></Alert>"), SML_ERR_UNEXPECTED_CONTENT},
      {"Status inside Sync", Message("<Sync>" + std::string(kStatus) + "</Sync>"), SML_ERR_UNEXPECTED_CONTENT},
      {"Sync child after a command", Message("<Sync><Add><CmdID>2</CmdID><Item/></Add><CmdID>1</CmdID></Sync>"),
       SML_ERR_UNEXPECTED_CONTENT},
      {"content in a flag", Message("<Final>yes</Final>"), SML_ERR_UNEXPECTED_CONTENT},
      {"Status without Cmd", Message("<Status><CmdID>1</CmdID><Data>200</Data></Status>"), SML_ERR_MISSING_ELEMENT},
      {"Status without Data", Message("<Status><CmdID>1</CmdID><Cmd>Add</Cmd></Status>"), SML_ERR_MISSING_ELEMENT},
      {"Add without Item", Message("<Add><CmdID>1</CmdID></Add>"), SML_ERR_MISSING_ELEMENT},
      {"Alert without CmdID", Message("<Alert><Data>200</Data></Alert>"), SML_ERR_MISSING_ELEMENT},
      {"Map without MapItem",
       Message("<Map><CmdID>1</CmdID><Target><LocURI>t</LocURI></Target><Source><LocURI>s</LocURI></Source></Map>"),
       SML_ERR_MISSING_ELEMENT},
      {"header without SessionID", "<SyncML xmlns='SYNCML:SYNCML1.1'><SyncHdr><VerDTD>1.1</VerDTD><VerProto>x</VerProto>"
                                   "<MsgID>1</MsgID><Target/><Source/></SyncHdr><SyncBody/></SyncML>",
       SML_ERR_MISSING_ELEMENT},
      {"body without header", "<SyncML><SyncBody/></SyncML>", SML_ERR_MISSING_ELEMENT},
      {"namespace outside the accepted set", "<SyncML xmlns='http://example.com/syncml'>" + header + "<SyncBody/></SyncML>",
       SML_ERR_BAD_NAMESPACE},
      {"unknown MetInf namespace", Message("<Get><CmdID>1</CmdID><Meta><Type xmlns='syncml:metainfo'>t</Type></Meta></Get>"),
       SML_ERR_BAD_NAMESPACE},
      {"undeclared prefix", Message("<x:Alert><CmdID>1</CmdID></x:Alert>"), SML_ERR_BAD_NAMESPACE},
      {"mismatched end tag", Message("<Alert><CmdID>1</CmdID></Alrt>"), SML_ERR_MALFORMED},
      {"truncated", Message("<Alert><CmdID>1</CmdID>").substr(0, 150), SML_ERR_MALFORMED},
      {"unquoted attribute", "<SyncML xmlns=SYNCML:SYNCML1.1>" + header + "<SyncBody/></SyncML>", SML_ERR_MALFORMED},
      {"attributes run together", "<SyncML a='1'b='2'>" + header + "<SyncBody/></SyncML>", SML_ERR_MALFORMED},
      {"unterminated CDATA", Message("<Alert><CmdID><![CDATA[1</CmdID></Alert>"), SML_ERR_MALFORMED},
      {"unterminated comment", Message("<!-- <Alert/>"), SML_ERR_MALFORMED},
      {"DOCTYPE inside the document", Message("<!DOCTYPE x>"), SML_ERR_MALFORMED},
      {"declaration without version first", "<?xml encoding='UTF-8' version='1.0'?>" + Message(""), SML_ERR_MALFORMED},
      {"text after the root", Message("") + "junk", SML_ERR_MALFORMED},
      {"second root", Message("") + Message(""), SML_ERR_MALFORMED},
      {"empty input", "", SML_ERR_MALFORMED},
      {"root is not SyncML", "<SyncHdr/>", SML_ERR_UNEXPECTED_CONTENT},
  };
  for (const DecodeFailure& failure : cases) {
    Recorder recorder;
    const SmlRet ret = Decode(failure.message, recorder);
    EXPECT_EQ(ret, failure.code) << failure.what << ": got " << SmlResultName(ret);
  }
}

TEST(SmlDecodeErrors, CommandsBeforeTheFaultKeepTheirEffects) {
  Recorder recorder;
  EXPECT_EQ(Decode(Message("<Alert><CmdID>1</CmdID><Data>201</Data></Alert>"
                           "<Status><CmdID>2</CmdID><Cmd>Alert</Cmd><Data>200</Data><Unknown/></Status>"
                           "<Alert><CmdID>3</CmdID></Alert>"),
                   recorder),
            SML_ERR_UNEXPECTED_CONTENT);
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"StartMessage", "Alert"}));
  EXPECT_EQ(recorder.alerts.at(0)->data, SmlPcdata::Plain("201"));
}

TEST(SmlDecodeErrors, NestingAndElementCountHaveCeilings) {
  std::string deep;
  for (int i = 0; i < 50; ++i) deep += "<x>";
  for (int i = 0; i < 50; ++i) deep += "</x>";
  Recorder nested;
  EXPECT_EQ(Decode(Message("<Alert><CmdID>1</CmdID><Data>" + deep + "</Data></Alert>"), nested), SML_ERR_LIMIT_EXCEEDED);

  std::string refs;
  for (int i = 0; i < 100001; ++i) refs += "<TargetRef/>";
  Recorder many;
  EXPECT_EQ(Decode(Message("<Status><CmdID>1</CmdID><Cmd>Add</Cmd><Data>1</Data>" + refs + "</Status>"), many),
            SML_ERR_LIMIT_EXCEEDED);
  EXPECT_TRUE(many.statuses.empty());

  // The ceiling counts one command at a time: many commands of moderate size are fine.
  std::string statuses;
  for (int i = 0; i < 30000; ++i) statuses += kStatus;
  Recorder longMessage;
  EXPECT_EQ(Decode(Message(statuses), longMessage), SML_OK);
  EXPECT_EQ(longMessage.statuses.size(), 30000u);
}
