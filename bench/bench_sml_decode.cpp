// Benchmark: the full decode of a 1 MB server reply carrying 500 vCard items, against expat
// merely tokenising the same bytes (no-op handlers), in the same run.
#include <benchmark/benchmark.h>
#include <expat.h>

#include <cstring>
#include <string>

#include "syncml/SmlInstance.h"

namespace {

constexpr int kItems = 500;
constexpr std::size_t kReplySize = 1 << 20;

// A contact of about 2 KB with CR LF line ends, as servers send them.
std::string VCard(int index, std::size_t size) {
  const std::string n = std::to_string(index);
  std::string card = "BEGIN:VCARD\r\nVERSION:2.1\r\nREV:20261208T101010\r\nN:Person" + n + ";Given;;;\r\nFN:Given Person" + n +
                     "\r\nTEL;CELL:+49 170 555" + n + "\r\nTEL;WORK;VOICE:+49 30 1234" + n + "\r\nEMAIL;INTERNET:person" + n +
                     "@example.org\r\nADR;HOME:;;Main Street " + n + ";Berlin;;10115;Germany\r\nORG:Example Ltd.;Sales\r\n";
  while (card.size() + 60 < size) card += "NOTE:A longer note that makes the card the size of a real one.\r\n";
  return card + "END:VCARD\r\n";
}

// A server message: header, the status of the client's header, and a Sync of 500 Add commands
// whose items are CDATA, padded to 1 MB.
std::string Reply() {
  std::string reply =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SyncML xmlns='SYNCML:SYNCML1.1'><SyncHdr><VerDTD>1.1</VerDTD>"
      "<VerProto>SyncML/1.1</VerProto><SessionID>6</SessionID><MsgID>2</MsgID><Target><LocURI>IMEI:client</LocURI>"
      "</Target><Source><LocURI>http://127.0.0.1:18181/cgi-bin/sync</LocURI></Source><RespURI>"
      "http://127.0.0.1:18181/cgi-bin/sync?sessionid=3092200021796749824</RespURI><Meta><MaxMsgSize "
      "xmlns='syncml:metinf'>150000</MaxMsgSize><MaxObjSize xmlns='syncml:metinf'>4000000</MaxObjSize></Meta>"
      "</SyncHdr><SyncBody><Status><CmdID>1</CmdID><MsgRef>2</MsgRef><CmdRef>0</CmdRef><Cmd>SyncHdr</Cmd>"
      "<TargetRef>http://127.0.0.1:18181/cgi-bin/sync</TargetRef><SourceRef>IMEI:client</SourceRef><Data>200</Data>"
      "</Status><Sync><CmdID>2</CmdID><Target><LocURI>./contacts</LocURI></Target><Source><LocURI>./contacts</LocURI>"
      "</Source>";
  const std::string tail = "</Sync><Final/></SyncBody></SyncML>";
  const std::size_t perItem = (kReplySize - reply.size() - tail.size()) / kItems;
  for (int i = 0; i < kItems; ++i) {
    const std::string n = std::to_string(i + 3);
    const std::string head = "<Add><CmdID>" + n + "</CmdID><Meta><Type xmlns='syncml:metinf'>text/x-vcard</Type></Meta>"
                             "<Item><Source><LocURI>item-" + n + ".vcf</LocURI></Source><Data><![CDATA[";
    const std::string end = "]]></Data></Item></Add>";
    reply += head + VCard(i, perItem - head.size() - end.size()) + end;
  }
  return reply + tail;
}

const std::string& TheReply() {
  static const std::string reply = Reply();
  return reply;
}

template <class T>
SmlHandler<T> Drop() {
  return [](void*, std::unique_ptr<T>) { return SmlRet{SML_OK}; };
}

SmlHandlers DroppingHandlers() {
  SmlHandlers h;
  h.startMessage = Drop<SmlSyncHdr>();
  h.endMessage = [](void*, bool) { return SmlRet{SML_OK}; };
  h.startSync = Drop<SmlSync>();
  h.endSync = [](void*) { return SmlRet{SML_OK}; };
  h.addCmd = Drop<SmlAdd>();
  h.statusCmd = Drop<SmlStatus>();
  return h;
}

// Copying the reply into the input buffer belongs to the decode, as it does in the session.
void BM_SmlDecodeReply(benchmark::State& state) {
  const std::string& reply = TheReply();
  int items = 0;
  SmlHandlers handlers = DroppingHandlers();
  handlers.addCmd = [](void* context, std::unique_ptr<SmlAdd> add) {
    *static_cast<int*>(context) += static_cast<int>(add->items.size());
    return SmlRet{SML_OK};
  };
  SmlInstance instance(SmlInstanceOptions{SmlEncoding::Xml, "bench", 2 * kReplySize}, handlers, &items);
  for (auto _ : state) {
    char* input = nullptr;
    std::size_t free = 0;
    instance.LockInput(input, free);
    std::memcpy(input, reply.data(), reply.size());
    instance.UnlockInput(reply.size());
    if (instance.ProcessData() != SML_OK) state.SkipWithError("decoding failed");
  }
  if (items != kItems * static_cast<int>(state.iterations())) state.SkipWithError("items lost");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_SmlDecodeReply)->Unit(benchmark::kMillisecond);

void XMLCALL NoStart(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL NoEnd(void*, const XML_Char*) {}
void XMLCALL NoText(void*, const XML_Char*, int) {}

void BM_ExpatTokenizeReply(benchmark::State& state) {
  const std::string& reply = TheReply();
  for (auto _ : state) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetElementHandler(parser, NoStart, NoEnd);
    XML_SetCharacterDataHandler(parser, NoText);
    if (XML_Parse(parser, reply.data(), static_cast<int>(reply.size()), 1) != XML_STATUS_OK) {
      state.SkipWithError("expat failed");
    }
    XML_ParserFree(parser);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_ExpatTokenizeReply)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
