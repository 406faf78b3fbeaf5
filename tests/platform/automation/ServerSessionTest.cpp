// The server's protocol without a socket: frames in, reply frames out.

#include "platform/automation/ServerSession.h"
#include "platform/automation/Wire.h"
#include "tests/platform/automation/AutomationTestSupport.h"

#include <QtEndian>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace Automation;
using AutomationTest::RecordingDispatch;

namespace {

struct Reply
{
    Wire::Type type{};
    std::uint32_t serial = 0;
    QByteArray payload; // after type and serial
};

// Splits a server's output into frames; every byte must belong to a whole frame.
std::vector<Reply> ParseReplies(const QByteArray& out)
{
    std::vector<Reply> replies;
    qsizetype at = 0;
    while (at < out.size()) {
        EXPECT_GE(out.size() - at, 4);
        if (out.size() - at < 4)
            break;
        const auto length = qFromLittleEndian<std::uint32_t>(out.constData() + at);
        EXPECT_GE(length, 5u);
        EXPECT_LE(qsizetype(length), out.size() - at - 4);
        if (length < 5 || qsizetype(length) > out.size() - at - 4)
            break;
        Wire::Reader reader(out.constData() + at + 4, length);
        Reply reply;
        reply.type = Wire::Type(reader.u8());
        reply.serial = reader.u32();
        reply.payload = out.mid(at + 9, length - 5);
        replies.push_back(reply);
        at += 4 + qsizetype(length);
    }
    return replies;
}

HRESULT ErrorCode(const Reply& reply)
{
    EXPECT_EQ(reply.type, Wire::Type::ErrorReply);
    Wire::Reader reader(reply.payload.constData(), std::size_t(reply.payload.size()));
    return reader.i32();
}

std::uint32_t ErrorArgument(const Reply& reply)
{
    Wire::Reader reader(reply.payload.constData(), std::size_t(reply.payload.size()));
    reader.i32();
    return reader.u32();
}

QByteArray Hello(std::uint32_t serial = 1, std::uint16_t version = Wire::Version)
{
    Wire::Writer w(Wire::Type::Hello, serial);
    w.bytes(Wire::Magic, sizeof Wire::Magic);
    w.u16(version);
    return w.frame();
}

QByteArray Names(std::uint32_t serial, Wire::ObjectId id, const std::vector<QString>& names)
{
    Wire::Writer w(Wire::Type::GetIDsOfNames, serial);
    w.u64(id);
    w.u32(0);
    w.u32(std::uint32_t(names.size()));
    for (const QString& name : names)
        w.string(name);
    return w.frame();
}

QByteArray Invoke(std::uint32_t serial, Wire::ObjectId id, DISPID dispId,
                  const std::vector<Variant>& arguments = {})
{
    Wire::Writer w(Wire::Type::Invoke, serial);
    w.u64(id);
    w.i32(dispId);
    w.u32(0);
    w.u16(DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    w.u32(std::uint32_t(arguments.size()));
    for (const Variant& argument : arguments)
        EXPECT_TRUE(w.variant(argument, [](IDispatch*, Wire::ObjectRef&) { return false; }));
    w.u32(0);
    return w.frame();
}

QByteArray Release(std::uint32_t serial, const std::vector<Wire::ObjectId>& ids)
{
    Wire::Writer w(Wire::Type::Release, serial);
    w.u32(std::uint32_t(ids.size()));
    for (const Wire::ObjectId id : ids)
        w.u64(id);
    return w.frame();
}

// A frame with any payload, its length prefix included.
QByteArray Raw(const QByteArray& payload)
{
    char length[4];
    qToLittleEndian(std::uint32_t(payload.size()), length);
    return QByteArray(length, 4) + payload;
}

class ServerSessionTest : public ::testing::Test
{
protected:
    ComPtr<RecordingDispatch> root_ = MakeDispatch<RecordingDispatch>();
    ServerSession session_{ComPtr<IDispatch>(root_.get())};

    std::vector<Reply> Send(const QByteArray& stream)
    {
        session_.receive(stream.constData(), std::size_t(stream.size()));
        return ParseReplies(session_.takeOutput());
    }
    void Greet()
    {
        const auto replies = Send(Hello());
        ASSERT_EQ(replies.size(), 1u);
        ASSERT_EQ(replies[0].type, Wire::Type::HelloReply);
    }
};

TEST_F(ServerSessionTest, HelloExportsTheRootAndAnswersTheVersion)
{
    const auto replies = Send(Hello(42));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].type, Wire::Type::HelloReply);
    EXPECT_EQ(replies[0].serial, 42u);
    Wire::Reader reader(replies[0].payload.constData(), std::size_t(replies[0].payload.size()));
    EXPECT_EQ(reader.u16(), Wire::Version);
    EXPECT_NE(reader.u64(), 0u);
    reader.u64();
    EXPECT_TRUE(reader.ok() && reader.atEnd());
    EXPECT_TRUE(session_.greeted());
    EXPECT_FALSE(session_.closing());
    EXPECT_EQ(session_.exportCount(), 1u);
}

// Streams that cannot be followed: one error reply, then the session closes and ignores the rest.
struct BrokenStream
{
    const char* name;
    QByteArray stream;
};

class ServerSessionBrokenStreamTest : public ServerSessionTest,
                                      public ::testing::WithParamInterface<BrokenStream>
{
};

TEST_P(ServerSessionBrokenStreamTest, ErrorReplyThenClosing)
{
    const QByteArray after = Names(9, 1, {QStringLiteral("Name")});
    const auto replies = Send(GetParam().stream + after);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(ErrorCode(replies[0]), RPC_E_INVALID_DATA);
    EXPECT_TRUE(session_.closing());
    EXPECT_TRUE(Send(Hello()).empty());
    EXPECT_TRUE(root_->calls().empty());
}

QByteArray WithLength(std::uint32_t length)
{
    char bytes[4];
    qToLittleEndian(length, bytes);
    return QByteArray(bytes, 4) + QByteArray(16, 'x');
}

QByteArray HelloWith(const QByteArray& magic, std::uint16_t version, const QByteArray& tail)
{
    Wire::Writer w(Wire::Type::Hello, 1);
    w.bytes(magic.constData(), std::size_t(magic.size()));
    w.u16(version);
    w.bytes(tail.constData(), std::size_t(tail.size()));
    return w.frame();
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ServerSessionBrokenStreamTest,
    ::testing::Values(
        BrokenStream{"LengthZero", WithLength(0)}, BrokenStream{"LengthFour", WithLength(4)},
        BrokenStream{"LengthAboveLimit", WithLength(ServerSession::MaxFrame + 1)},
        BrokenStream{"CallBeforeHello", Names(3, 1, {QStringLiteral("Name")})},
        BrokenStream{"ReleaseBeforeHello", Release(3, {1})},
        BrokenStream{"WrongMagic", HelloWith(QByteArrayLiteral("TBRX"), Wire::Version, {})},
        BrokenStream{"WrongVersion", HelloWith(QByteArray(Wire::Magic, 4), Wire::Version + 1, {})},
        BrokenStream{"HelloWithTrailingBytes",
                     HelloWith(QByteArray(Wire::Magic, 4), Wire::Version, QByteArrayLiteral("z"))},
        BrokenStream{"HelloCutShort", Raw(QByteArrayLiteral("\x01\x01\x00\x00\x00TB"))}),
    [](const auto& param) { return std::string(param.param.name); });

// A full exchange gives the same replies however the stream is cut into reads.
TEST_F(ServerSessionTest, RepliesDoNotDependOnHowTheStreamIsSplit)
{
    root_->answer(QStringLiteral("Name"), Variant::FromBstr(QStringLiteral("Book1.xlsx")));
    const QByteArray stream = Hello(1) + Names(2, 1, {QStringLiteral("Name")}) +
                              Invoke(3, 1, 1, {Variant::FromI4(7)}) + Release(4, {1}) +
                              Invoke(5, 1, 1);

    QByteArray whole;
    {
        ServerSession session{ComPtr<IDispatch>(root_.get())};
        session.receive(stream.constData(), std::size_t(stream.size()));
        whole = session.takeOutput();
    }
    const auto replies = ParseReplies(whole);
    ASSERT_EQ(replies.size(), 4u);
    EXPECT_EQ(replies[0].type, Wire::Type::HelloReply);
    EXPECT_EQ(replies[1].type, Wire::Type::NamesReply);
    EXPECT_EQ(replies[2].type, Wire::Type::InvokeReply);
    EXPECT_EQ(replies[3].serial, 5u); // the root was released: its id is gone
    EXPECT_EQ(ErrorCode(replies[3]), RPC_E_DISCONNECTED);

    for (const std::size_t step : {std::size_t(1), std::size_t(3), std::size_t(7), std::size_t(64)}) {
        ServerSession session{ComPtr<IDispatch>(root_.get())};
        QByteArray out;
        for (qsizetype at = 0; at < stream.size(); at += qsizetype(step)) {
            const qsizetype n = std::min<qsizetype>(qsizetype(step), stream.size() - at);
            session.receive(stream.constData() + at, std::size_t(n));
            out += session.takeOutput();
        }
        EXPECT_EQ(out, whole) << "reads of " << step << " bytes";
        EXPECT_EQ(session.bufferedInput(), 0u);
    }
}

TEST_F(ServerSessionTest, AnUnfinishedFrameWaitsForTheRest)
{
    Greet();
    const QByteArray frame = Names(2, 1, {QStringLiteral("Count")});
    EXPECT_TRUE(Send(frame.left(frame.size() - 1)).empty());
    EXPECT_EQ(session_.bufferedInput(), std::size_t(frame.size() - 1));
    const auto replies = Send(frame.right(1));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].type, Wire::Type::NamesReply);
    EXPECT_EQ(session_.bufferedInput(), 0u);
}

// Bad frames after the greeting: an error reply with the frame's serial; the session serves on.
struct BadFrame
{
    const char* name;
    QByteArray frame;
    HRESULT expected;
    std::uint32_t argErr = Wire::NoArgErr;
};

class ServerSessionBadFrameTest : public ServerSessionTest,
                                  public ::testing::WithParamInterface<BadFrame>
{
};

TEST_P(ServerSessionBadFrameTest, ErrorReplyAndTheSessionServesOn)
{
    Greet();
    const auto replies = Send(GetParam().frame + Names(77, 1, {QStringLiteral("Name")}));
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].serial, 7u);
    EXPECT_EQ(ErrorCode(replies[0]), GetParam().expected);
    EXPECT_EQ(ErrorArgument(replies[0]), GetParam().argErr);
    EXPECT_EQ(replies[1].serial, 77u);
    EXPECT_EQ(replies[1].type, Wire::Type::NamesReply);
    EXPECT_FALSE(session_.closing());
    EXPECT_TRUE(root_->calls().empty());
}

QByteArray InvokeHeader(std::uint32_t argumentCount, const QByteArray& rest)
{
    Wire::Writer w(Wire::Type::Invoke, 7);
    w.u64(1);
    w.i32(1);
    w.u32(0);
    w.u16(DISPATCH_METHOD);
    w.u32(argumentCount);
    w.bytes(rest.constData(), std::size_t(rest.size()));
    return w.frame();
}

QByteArray Le16(std::uint16_t v)
{
    char b[2];
    qToLittleEndian(v, b);
    return QByteArray(b, 2);
}
QByteArray Le32(std::uint32_t v)
{
    char b[4];
    qToLittleEndian(v, b);
    return QByteArray(b, 4);
}
QByteArray Le64(std::uint64_t v)
{
    char b[8];
    qToLittleEndian(v, b);
    return QByteArray(b, 8);
}

QByteArray NamesWithCount(std::uint32_t count, const QByteArray& rest)
{
    Wire::Writer w(Wire::Type::GetIDsOfNames, 7);
    w.u64(1);
    w.u32(0);
    w.u32(count);
    w.bytes(rest.constData(), std::size_t(rest.size()));
    return w.frame();
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ServerSessionBadFrameTest,
    ::testing::Values(
        BadFrame{"UnknownType", Raw(QByteArrayLiteral("\x42\x07\x00\x00\x00")), RPC_E_INVALID_DATA},
        BadFrame{"ReplyTypeFromClient", Raw(QByteArrayLiteral("\x83\x07\x00\x00\x00")),
                 RPC_E_INVALID_DATA},
        BadFrame{"SecondHello", Hello(7), RPC_E_INVALID_DATA},
        BadFrame{"NamesNone", NamesWithCount(0, {}), RPC_E_INVALID_DATA},
        BadFrame{"NamesTooMany", NamesWithCount(Wire::MaxNames + 1, {}), RPC_E_INVALID_DATA},
        BadFrame{"NamesStringLongerThanFrame", NamesWithCount(1, Le32(1000) + "ab"),
                 RPC_E_INVALID_DATA},
        BadFrame{"NamesTrailingBytes", NamesWithCount(1, Le32(0) + "?"), RPC_E_INVALID_DATA},
        BadFrame{"NamesUnknownObject", Names(7, 99, {QStringLiteral("Name")}), RPC_E_DISCONNECTED},
        BadFrame{"InvokeTooManyArguments", InvokeHeader(Wire::MaxArguments + 1, {}),
                 DISP_E_BADPARAMCOUNT},
        BadFrame{"InvokeCutInHeader", Raw(QByteArrayLiteral("\x03\x07\x00\x00\x00\x01\x00")),
                 RPC_E_INVALID_DATA},
        BadFrame{"InvokeUnknownVariantType", InvokeHeader(2, Le16(VT_I4) + Le32(5) + Le16(0x4000)),
                 DISP_E_BADVARTYPE, 1},
        BadFrame{"InvokeArgumentCutShort", InvokeHeader(1, Le16(VT_R8) + "abc"),
                 RPC_E_INVALID_DATA},
        BadFrame{"InvokeUnknownObjectArgument",
                 InvokeHeader(1, Le16(VT_DISPATCH) + Le64(55) + Le64(0) + Le32(0)),
                 RPC_E_DISCONNECTED, 0},
        BadFrame{"InvokeMoreNamedThanArguments",
                 InvokeHeader(1, Le16(VT_I4) + Le32(1) + Le32(2) + Le32(0) + Le32(0)),
                 RPC_E_INVALID_DATA},
        BadFrame{"InvokeTrailingBytes", InvokeHeader(0, Le32(0) + "!"), RPC_E_INVALID_DATA},
        BadFrame{"InvokeUnknownObject", Invoke(7, 99, 1), RPC_E_DISCONNECTED},
        BadFrame{"ReleaseCountBeyondFrame", Raw(QByteArrayLiteral("\x04\x07\x00\x00\x00") +
                                                Le32(3) + Le64(1)),
                 RPC_E_INVALID_DATA},
        BadFrame{"ReleaseUnknownId", Release(7, {12345}), RPC_E_DISCONNECTED}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(ServerSessionTest, ReturnedObjectsAreCountedAndReleasedPerReference)
{
    Greet();
    auto child = MakeDispatch<RecordingDispatch>();
    root_->answer(QStringLiteral("Child"), Variant::FromDispatch(ComPtr<IDispatch>(child.get())));
    Send(Names(2, 1, {QStringLiteral("Child")}));
    for (std::uint32_t serial = 3; serial < 5; ++serial) {
        const auto replies = Send(Invoke(serial, 1, 1));
        ASSERT_EQ(replies.size(), 1u);
        ASSERT_EQ(replies[0].type, Wire::Type::InvokeReply);
        Wire::Reader reader(replies[0].payload.constData(), std::size_t(replies[0].payload.size()));
        EXPECT_EQ(reader.u16(), VT_DISPATCH);
        EXPECT_EQ(reader.u64(), 2u) << "the same object keeps its id";
    }
    EXPECT_EQ(session_.exportCount(), 2u);
    // Two references: the first release keeps it, the second ends it, a third is an error.
    EXPECT_TRUE(Send(Release(5, {2})).empty());
    EXPECT_EQ(session_.exportCount(), 2u);
    EXPECT_TRUE(Send(Release(6, {2})).empty());
    EXPECT_EQ(session_.exportCount(), 1u);
    const auto replies = Send(Release(7, {2}));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(ErrorCode(replies[0]), RPC_E_DISCONNECTED);
}

TEST(ServerSessionLifetime, DestroyingTheSessionReleasesEveryObject)
{
    const int before = RecordingDispatch::alive;
    {
        auto root = MakeDispatch<RecordingDispatch>();
        auto child = MakeDispatch<RecordingDispatch>();
        root->answer(QStringLiteral("Child"),
                     Variant::FromDispatch(ComPtr<IDispatch>(child.get())));
        ServerSession session{ComPtr<IDispatch>(root.get())};
        const QByteArray stream =
            Hello() + Names(2, 1, {QStringLiteral("Child")}) + Invoke(3, 1, 1) + Invoke(4, 1, 1);
        session.receive(stream.constData(), std::size_t(stream.size()));
        EXPECT_EQ(session.exportCount(), 2u);
        root = nullptr;
        child = nullptr;
        EXPECT_EQ(RecordingDispatch::alive, before + 2) << "the session holds both";
    }
    EXPECT_EQ(RecordingDispatch::alive, before);
}

TEST_F(ServerSessionTest, ExceptionFromTheObjectTravelsInTheErrorReply)
{
    Greet();
    root_->fail(QStringLiteral("Activate"), E_FAIL, QStringLiteral("シートが見つかりません"));
    Send(Names(2, 1, {QStringLiteral("Activate")}));
    const auto replies = Send(Invoke(3, 1, 1));
    ASSERT_EQ(replies.size(), 1u);
    Wire::Reader reader(replies[0].payload.constData(), std::size_t(replies[0].payload.size()));
    EXPECT_EQ(reader.i32(), DISP_E_EXCEPTION);
    EXPECT_EQ(reader.u32(), Wire::NoArgErr);
    EXPECT_EQ(reader.u8(), 1);
    reader.u16();
    EXPECT_EQ(reader.i32(), E_FAIL);
    EXPECT_EQ(reader.string(), QStringLiteral("Recorder"));
    EXPECT_EQ(reader.string(), QStringLiteral("シートが見つかりません"));
    EXPECT_TRUE(reader.ok() && reader.atEnd());
}

TEST_F(ServerSessionTest, ArgumentsArriveInWireOrder)
{
    Greet();
    Send(Names(2, 1, {QStringLiteral("Find")}));
    const auto replies = Send(Invoke(3, 1, 1,
                                     {Variant::FromBstr(QStringLiteral("売上")), Variant::FromI4(-4163),
                                      Variant::FromBool(true), Variant::FromR8(2.5)}));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].type, Wire::Type::InvokeReply);
    const auto calls = root_->calls();
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0].arguments.size(), 4u);
    EXPECT_EQ(calls[0].arguments[0].bstrVal(), QStringLiteral("売上"));
    EXPECT_EQ(calls[0].arguments[1].lVal(), -4163);
    EXPECT_TRUE(calls[0].arguments[2].boolVal());
    EXPECT_EQ(calls[0].arguments[3].dblVal(), 2.5);
}

TEST_F(ServerSessionTest, OutputReadyIsCalledOncePerReplyFrame)
{
    int frames = 0;
    QByteArray sent;
    session_.setOutputReady([&] {
        ++frames;
        sent += session_.takeOutput();
    });
    const QByteArray stream = Hello() + Names(2, 1, {QStringLiteral("A")}) + Release(3, {1}) +
                              Names(4, 1, {QStringLiteral("B")});
    session_.receive(stream.constData(), std::size_t(stream.size()));
    EXPECT_EQ(frames, 3); // a release has no reply
    EXPECT_EQ(ParseReplies(sent).size(), 3u);
    EXPECT_EQ(session_.pendingOutput(), 0u);
}

TEST_F(ServerSessionTest, CloseStopsTheFramesStillBuffered)
{
    Greet();
    int calls = 0;
    session_.setOutputReady([&] {
        if (++calls == 1)
            session_.close();
    });
    const QByteArray stream = Names(2, 1, {QStringLiteral("A")}) + Names(3, 1, {QStringLiteral("B")});
    session_.receive(stream.constData(), std::size_t(stream.size()));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(root_->resolvedNames(), std::vector<QString>{QStringLiteral("A")});
}

} // namespace

namespace {

// A client that sends calls but never reads its replies: once they pass the limit the session
// closes instead of holding ever more memory.
TEST_F(ServerSessionTest, RepliesPilingUpPastTheLimitCloseTheSession)
{
    Greet();
    const QString big(4 * 1024 * 1024, u'x'); // 8 MiB on the wire
    root_->answer(QStringLiteral("Big"), Variant::FromBstr(big));
    Send(Names(2, 1, {QStringLiteral("Big")}));
    QByteArray calls;
    const std::size_t needed = ServerSession::MaxPendingOutput / (big.size() * 2) + 2;
    for (std::uint32_t serial = 0; serial < needed; ++serial)
        calls += Invoke(10 + serial, 1, 1);
    session_.receive(calls.constData(), std::size_t(calls.size()));
    EXPECT_TRUE(session_.closing());
    EXPECT_LE(session_.pendingOutput(), ServerSession::MaxPendingOutput);
    EXPECT_LT(root_->calls().size(), needed) << "the frames after the limit are not served";
    const auto replies = ParseReplies(session_.takeOutput());
    EXPECT_EQ(replies.size(), ServerSession::MaxPendingOutput / (big.size() * 2 + 15));
}

} // namespace
