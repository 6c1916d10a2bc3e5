// Codec instances: the workspace budget and handles, the input and output buffers shared in one
// workspace, writing the next message while a reply is decoded, and evaluation mode.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "syncml/SmlCodec.h"
#include "tests/syncml/SmlTestSupport.h"

namespace {

SmlInstanceOptions Options(std::size_t size, const char* name = "VudirerAvazWorkSpace") {
  return SmlInstanceOptions{SmlEncoding::Xml, name, size};
}

SmlSyncHdr Header(const std::string& msgId) {
  SmlSyncHdr header;
  header.verDtd = "1.1";
  header.verProto = "SyncML/1.1";
  header.sessionId = "S";
  header.msgId = msgId;
  header.target.locUri = "http://server/";
  header.source.locUri = "client";
  return header;
}

SmlStatus HeaderStatus() {
  SmlStatus status;
  status.cmdId = "1";
  status.msgRef = "1";
  status.cmdRef = "0";
  status.cmd = "SyncHdr";
  status.data = SmlPcdata::Plain("212");
  return status;
}

// A complete message as the encoder writes it.
std::string EncodedMessage(const SmlSyncHdr& header) {
  SmlInstance writer(Options(4096), SmlHandlers{}, nullptr);
  EXPECT_EQ(writer.StartMessage(header), SML_OK);
  EXPECT_EQ(writer.AddCommand(HeaderStatus()), SML_OK);
  EXPECT_EQ(writer.EndMessage(true), SML_OK);
  const char* data = nullptr;
  std::size_t length = 0;
  EXPECT_EQ(writer.LockOutput(data, length), SML_OK);
  return std::string(data, length);
}

}  // namespace

TEST(SmlCodec, BudgetLimitsWorkspacesAndTerminationGivesThemBack) {
  SmlCodec codec(10000);
  SmlHandle first = 0;
  SmlHandle second = 0;
  ASSERT_EQ(codec.CreateInstance(Options(6000), SmlHandlers{}, nullptr, first), SML_OK);
  EXPECT_EQ(codec.FreeBudget(), 4000u);
  EXPECT_EQ(codec.CreateInstance(Options(6000), SmlHandlers{}, nullptr, second), SML_ERR_OUT_OF_MEMORY);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(codec.CreateInstance(Options(0), SmlHandlers{}, nullptr, second), SML_ERR_INVALID_ARGUMENT);
  ASSERT_EQ(codec.CreateInstance(Options(4000, "second"), SmlHandlers{}, nullptr, second), SML_OK);
  EXPECT_NE(first, 0);
  EXPECT_NE(second, 0);
  EXPECT_NE(first, second);
  ASSERT_NE(codec.Instance(second), nullptr);
  EXPECT_EQ(codec.Instance(second)->WorkspaceName(), "second");
  EXPECT_EQ(codec.Instance(second)->WorkspaceSize(), 4000u);

  EXPECT_EQ(codec.TerminateInstance(first), SML_OK);
  EXPECT_EQ(codec.Instance(first), nullptr);
  EXPECT_EQ(codec.TerminateInstance(first), SML_ERR_INVALID_HANDLE);
  EXPECT_EQ(codec.FreeBudget(), 6000u);
  SmlHandle third = 0;
  EXPECT_EQ(codec.CreateInstance(Options(6000), SmlHandlers{}, nullptr, third), SML_OK);
}

TEST(SmlCodec, HandlersReceiveTheUserContextOfTheirInstance) {
  SmlCodec codec(1 << 20);
  int context = 0;
  SmlHandlers handlers;
  handlers.startMessage = [](void* user, std::unique_ptr<SmlSyncHdr>) {
    ++*static_cast<int*>(user);
    return SmlRet{SML_OK};
  };
  handlers.statusCmd = [](void* user, std::unique_ptr<SmlStatus>) {
    ++*static_cast<int*>(user);
    return SmlRet{SML_OK};
  };
  handlers.endMessage = [](void*, bool) { return SmlRet{SML_OK}; };
  SmlHandle handle = 0;
  ASSERT_EQ(codec.CreateInstance(Options(8192), handlers, &context, handle), SML_OK);
  SmlInstance& instance = *codec.Instance(handle);
  ASSERT_EQ(instance.AppendInput(EncodedMessage(Header("1"))), SML_OK);
  EXPECT_EQ(instance.ProcessData(), SML_OK);
  EXPECT_EQ(context, 2);
}

TEST(SmlInstanceBuffers, InputCommittedInSeveralRoundsIsOneMessage) {
  int statuses = 0;
  SmlHandlers handlers;
  handlers.startMessage = [](void*, std::unique_ptr<SmlSyncHdr>) { return SmlRet{SML_OK}; };
  handlers.statusCmd = [](void* user, std::unique_ptr<SmlStatus>) {
    ++*static_cast<int*>(user);
    return SmlRet{SML_OK};
  };
  handlers.endMessage = [](void*, bool) { return SmlRet{SML_OK}; };
  SmlInstance instance(Options(4096), handlers, &statuses);
  const std::string message = EncodedMessage(Header("1"));
  const std::size_t half = message.size() / 2;
  ASSERT_EQ(instance.AppendInput(std::string_view(message).substr(0, half)), SML_OK);
  ASSERT_EQ(instance.AppendInput(std::string_view(message).substr(half)), SML_OK);
  EXPECT_EQ(instance.InputLength(), message.size());
  EXPECT_EQ(instance.ProcessData(), SML_OK);
  EXPECT_EQ(statuses, 1);
  EXPECT_EQ(instance.InputLength(), 0u);
  // Consumed: processing again finds no message.
  EXPECT_EQ(instance.ProcessData(), SML_ERR_MALFORMED);
}

TEST(SmlInstanceBuffers, InputIsBoundedByTheFreeWorkspace) {
  SmlInstance instance(Options(1000), SmlHandlers{}, nullptr);
  ASSERT_EQ(instance.StartMessage(Header("1")), SML_OK);
  const std::size_t written = instance.OutputLength();
  // Input that does not fit is refused whole, and the input is not left locked.
  EXPECT_EQ(instance.AppendInput(std::string(1000 - written + 1, ' ')), SML_ERR_BUFFER_FULL);
  EXPECT_EQ(instance.InputLength(), 0u);
  char* data = nullptr;
  std::size_t free = 0;
  ASSERT_EQ(instance.LockInput(data, free), SML_OK);
  EXPECT_EQ(free, 1000 - written);
  EXPECT_EQ(instance.LockInput(data, free), SML_ERR_BUFFER_LOCKED);
  EXPECT_EQ(instance.AddCommand(HeaderStatus()), SML_ERR_BUFFER_LOCKED);
  EXPECT_EQ(instance.UnlockInput(free + 1), SML_ERR_INVALID_ARGUMENT);
  std::memset(data, ' ', free);
  ASSERT_EQ(instance.UnlockInput(free), SML_OK);
  // The workspace is full: nothing more can be written until the input is processed.
  EXPECT_EQ(instance.AddCommand(HeaderStatus()), SML_ERR_BUFFER_FULL);
  EXPECT_EQ(instance.ProcessData(), SML_ERR_MALFORMED);
  EXPECT_EQ(instance.AddCommand(HeaderStatus()), SML_OK);
}

// The session's StartMessage handler begins its next message, with a Status for the reply's
// header, while the reply is still being decoded in the same workspace.
TEST(SmlInstanceBuffers, HandlersWriteTheNextMessageWhileTheReplyIsDecoded) {
  struct Session {
    SmlInstance* instance = nullptr;
    SmlRet written = SML_ERR_WRONG_STATE;
  } session;
  SmlHandlers handlers;
  handlers.startMessage = [](void* user, std::unique_ptr<SmlSyncHdr> header) {
    auto* s = static_cast<Session*>(user);
    s->written = s->instance->StartMessage(Header("2"));
    SmlStatus status = HeaderStatus();
    status.msgRef = header->msgId;
    if (s->written == SML_OK) s->written = s->instance->AddCommand(status);
    return SmlRet{SML_OK};
  };
  handlers.statusCmd = [](void*, std::unique_ptr<SmlStatus>) { return SmlRet{SML_OK}; };
  handlers.endMessage = [](void*, bool) { return SmlRet{SML_OK}; };
  const std::string reply = EncodedMessage(Header("7"));

  SmlInstance roomy(Options(8192), handlers, &session);
  session.instance = &roomy;
  ASSERT_EQ(roomy.AppendInput(reply), SML_OK);
  ASSERT_EQ(roomy.ProcessData(), SML_OK);
  ASSERT_EQ(session.written, SML_OK);
  ASSERT_EQ(roomy.EndMessage(true), SML_OK);
  const std::string next = OutputText(roomy, true);
  EXPECT_NE(next.find("<MsgID>2</MsgID>"), std::string::npos);
  EXPECT_NE(next.find("<MsgRef>7</MsgRef>"), std::string::npos);

  // The unread reply is never overwritten: with too little room the handler's write fails.
  SmlInstance tight(Options(reply.size() + 100), handlers, &session);
  session.instance = &tight;
  ASSERT_EQ(tight.AppendInput(reply), SML_OK);
  ASSERT_EQ(tight.ProcessData(), SML_OK);
  EXPECT_EQ(session.written, SML_ERR_BUFFER_FULL);
}

TEST(SmlInstanceBuffers, ConsumingPartOfTheOutputKeepsTheRest) {
  SmlInstance instance(Options(4096), SmlHandlers{}, nullptr);
  ASSERT_EQ(instance.StartMessage(Header("1")), SML_OK);
  ASSERT_EQ(instance.EndMessage(false), SML_OK);
  const char* data = nullptr;
  std::size_t length = 0;
  ASSERT_EQ(instance.LockOutput(data, length), SML_OK);
  const std::string whole(data, length);
  ASSERT_EQ(instance.UnlockOutput(10), SML_OK);
  EXPECT_EQ(OutputText(instance, true), whole.substr(10));
  EXPECT_EQ(instance.OutputLength(), 0u);

  ASSERT_EQ(instance.StartMessage(Header("2")), SML_OK);
  ASSERT_EQ(instance.StartEvaluation(), SML_OK);
  std::string taken = "kept";
  EXPECT_EQ(instance.TakeOutput(taken), SML_ERR_WRONG_STATE);
  EXPECT_EQ(taken, "kept");
}

TEST(SmlInstanceEvaluation, MeasuresWithoutKeepingAndRestoresTheOpenElements) {
  SmlInstance instance(Options(4096), SmlHandlers{}, nullptr);
  ASSERT_EQ(instance.StartMessage(Header("1")), SML_OK);
  const std::size_t before = instance.OutputLength();
  ASSERT_EQ(instance.StartEvaluation(), SML_OK);
  EXPECT_EQ(instance.StartEvaluation(), SML_ERR_WRONG_STATE);
  const char* data = nullptr;
  std::size_t length = 0;
  EXPECT_EQ(instance.LockOutput(data, length), SML_ERR_WRONG_STATE);
  ASSERT_EQ(instance.StartSync(SmlSync{}), SML_OK);
  ASSERT_EQ(instance.AddCommand(HeaderStatus()), SML_OK);
  ASSERT_EQ(instance.EndSync(), SML_OK);
  ASSERT_EQ(instance.EndMessage(true), SML_OK);
  SmlEvaluation evaluation;
  ASSERT_EQ(instance.EndEvaluation(evaluation), SML_OK);
  EXPECT_EQ(instance.EndEvaluation(evaluation), SML_ERR_WRONG_STATE);
  EXPECT_EQ(instance.OutputLength(), before);
  EXPECT_TRUE(instance.IsMessageOpen());
  EXPECT_FALSE(instance.IsSyncOpen());

  ASSERT_EQ(instance.StartSync(SmlSync{}), SML_OK);
  ASSERT_EQ(instance.AddCommand(HeaderStatus()), SML_OK);
  ASSERT_EQ(instance.EndSync(), SML_OK);
  ASSERT_EQ(instance.EndMessage(true), SML_OK);
  EXPECT_EQ(evaluation.outputLength, instance.OutputLength());
  EXPECT_EQ(evaluation.freeBytes, 4096 - instance.OutputLength());
}
