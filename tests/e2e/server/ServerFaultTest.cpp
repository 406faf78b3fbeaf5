// SheetHost's automation server facing clients that misbehave: malformed frames, random bytes,
// a frame that stops half-way, a client that never reads its replies. The misbehaving client
// gets an error or is dropped; every other client is answered meanwhile, promptly.
#include "platform/automation/ActiveObjectHost.h"
#include "tests/e2e/server/ServerProbe.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QtEndian>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <thread>

namespace {

using namespace ServerProbe;
using namespace Automation;

constexpr WORD Get = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
// How long a well-behaved client may wait for one answer while another misbehaves.
constexpr qint64 PromptMs = 1000;

class ServerFaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(host.Start(&error)) << error.toStdString();
        bystanderSession = std::make_unique<RawSession>();
        ASSERT_TRUE(bystander().connected());
        bystanderRoot = bystander().hello();
        ASSERT_NE(bystanderRoot, 0u);
        baseline = SettledDescriptors(host.Pid());
    }

    // One call of the well-behaved client; how long it took, or -1 when it failed.
    qint64 BystanderCall()
    {
        QElapsedTimer timer;
        timer.start();
        const Reply reply = bystander().call(bystanderRoot, QStringLiteral("Name"), Get);
        if (reply.type != Wire::Type::InvokeReply || reply.value.bstrVal().isEmpty())
            return -1;
        return timer.elapsed();
    }
    void ExpectBystanderServedPromptly(int calls = 3)
    {
        for (int i = 0; i < calls; ++i) {
            const qint64 ms = BystanderCall();
            EXPECT_GE(ms, 0) << "the other client got no answer";
            EXPECT_LT(ms, PromptMs);
        }
    }
    // Once the misbehaving connections are closed, the server holds what it held before.
    void ExpectDescriptorsBackToBaseline()
    {
        EXPECT_EQ(WaitForDescriptorsAtMost(host.Pid(), baseline), baseline);
    }

    // A greeted connection and the object for A1 of the sheet "Data" (the long text).
    ObjectId LongTextCell(RawSession& session)
    {
        ObjectId object = session.hello();
        const std::vector<std::pair<QString, std::vector<Argument>>> walk{
            {QStringLiteral("Workbooks"), {}},
            {QStringLiteral("Item"), {{Variant::FromI4(1)}}},
            {QStringLiteral("Worksheets"), {}},
            {QStringLiteral("Item"), {{Variant::FromI4(1)}}},
            {QStringLiteral("Cells"), {{Variant::FromI4(1)}, {Variant::FromI4(1)}}}};
        for (const auto& [member, arguments] : walk) {
            if (object == 0)
                return 0;
            object = session.call(object, member, Get, arguments).object;
        }
        return object;
    }

    // A well-behaved client, connected once the server runs.
    RawSession& bystander() { return *bystanderSession; }

    // Every test ends with a server that shuts down cleanly, whatever its clients did.
    void TearDown() override { EXPECT_EQ(host.Stop(), QString()); }

    ServedSheetHost host;
    std::unique_ptr<RawSession> bystanderSession;
    ObjectId bystanderRoot = 0;
    int baseline = 0;
};

// ---------------------------------------------------------------------------------------------
// Malformed frames.

enum class Outcome
{
    ErrorThenClosed, // the stream cannot be trusted any more: one error, then the end
    ErrorStaysOpen,  // one error reply for that request; the connection serves on
};

struct Garbage
{
    const char* name;
    bool greetFirst;
    std::function<QByteArray(ObjectId root)> bytes;
    Outcome outcome;
    HRESULT expected;
};

void PrintTo(const Garbage& garbage, std::ostream* out)
{
    *out << garbage.name;
}

QByteArray LengthPrefix(std::uint32_t length)
{
    QByteArray prefix(4, '\0');
    qToLittleEndian(length, prefix.data());
    return prefix;
}

QByteArray WithType(std::uint8_t type, std::uint32_t serial, const QByteArray& rest = {})
{
    QByteArray payload(1, char(type));
    QByteArray serialBytes(4, '\0');
    qToLittleEndian(serial, serialBytes.data());
    payload += serialBytes + rest;
    return LengthPrefix(std::uint32_t(payload.size())) + payload;
}

class MalformedInput : public ServerFaults, public ::testing::WithParamInterface<Garbage>
{
};

TEST_P(MalformedInput, GetsAnErrorWhileOthersAreServed)
{
    const Garbage& garbage = GetParam();
    RawSession culprit;
    ASSERT_TRUE(culprit.connected());
    ObjectId root = 0;
    if (garbage.greetFirst) {
        root = culprit.hello();
        ASSERT_NE(root, 0u);
    }
    ASSERT_TRUE(culprit.send(garbage.bytes(root)));
    const std::optional<Reply> reply = culprit.receive();
    ASSERT_TRUE(reply) << "no reply; closed: " << culprit.closedByServer();
    EXPECT_EQ(reply->type, Wire::Type::ErrorReply);
    EXPECT_EQ(std::uint32_t(reply->hr), std::uint32_t(garbage.expected));

    if (garbage.outcome == Outcome::ErrorThenClosed) {
        EXPECT_TRUE(culprit.drainUntilClosed()) << "the connection stayed open";
    } else {
        // The same connection answers a proper request after the bad one.
        const Reply name = culprit.call(root, QStringLiteral("Name"), Get);
        EXPECT_EQ(name.type, Wire::Type::InvokeReply);
        EXPECT_EQ(name.value.bstrVal(), QStringLiteral("SheetHost"));
    }
    ExpectBystanderServedPromptly();
    culprit.closeAbruptly();
    ExpectDescriptorsBackToBaseline();
}

INSTANTIATE_TEST_SUITE_P(
    Server, MalformedInput,
    ::testing::Values(
        Garbage{"LengthShorterThanAHeader", false,
                [](ObjectId) { return LengthPrefix(3) + QByteArray("abc"); },
                Outcome::ErrorThenClosed, RPC_E_INVALID_DATA},
        Garbage{"ZeroLengthAfterGreeting", true, [](ObjectId) { return LengthPrefix(0); },
                Outcome::ErrorThenClosed, RPC_E_INVALID_DATA},
        Garbage{"LengthBeyondTheLimit", true,
                [](ObjectId) { return LengthPrefix(Wire::MaxFrame + 1) + QByteArray(64, 'z'); },
                Outcome::ErrorThenClosed, RPC_E_INVALID_DATA},
        Garbage{"FrameJustWithinTheLimit", true,
                [](ObjectId root) {
                    // An argument (too many for the member) that brings the payload to one
                    // byte below the limit: read in full, answered, the connection kept.
                    const qsizetype characters = (qsizetype(Wire::MaxFrame) - 40) / 2;
                    QByteArray frame = InvokeFrame(
                        7, root, 2, Get, {{Variant::FromBstr(QString(characters, u'n'))}});
                    return frame;
                },
                Outcome::ErrorStaysOpen, DISP_E_BADPARAMCOUNT},
        Garbage{"LengthAllOnes", false, [](ObjectId) { return LengthPrefix(0xffffffffu); },
                Outcome::ErrorThenClosed, RPC_E_INVALID_DATA},
        Garbage{"UnknownTypeBeforeGreeting", false, [](ObjectId) { return WithType(0x42, 7); },
                Outcome::ErrorThenClosed, RPC_E_INVALID_DATA},
        Garbage{"WrongMagic", false,
                [](ObjectId) {
                    return HelloFrame(7, {'X', 'L', 'S', 'X'});
                },
                Outcome::ErrorThenClosed, RPC_E_INVALID_DATA},
        Garbage{"WrongVersion", false,
                [](ObjectId) { return HelloFrame(7, Wire::Magic, Wire::Version + 1); },
                Outcome::ErrorThenClosed, RPC_E_INVALID_DATA},
        Garbage{"GreetingWithTrailingBytes", false,
                [](ObjectId) {
                    QByteArray frame = HelloFrame(7);
                    frame += "!";
                    qToLittleEndian(std::uint32_t(frame.size() - 4), frame.data());
                    return frame;
                },
                Outcome::ErrorThenClosed, RPC_E_INVALID_DATA},
        Garbage{"CallBeforeGreeting", false,
                [](ObjectId) { return NamesFrame(7, 1, {QStringLiteral("Workbooks")}); },
                Outcome::ErrorThenClosed, RPC_E_INVALID_DATA},
        Garbage{"ReleaseBeforeGreeting", false, [](ObjectId) { return ReleaseFrame(7, {1}); },
                Outcome::ErrorThenClosed, RPC_E_INVALID_DATA},
        Garbage{"ReplyTypeSentByAClient", true,
                [](ObjectId) { return WithType(std::uint8_t(Wire::Type::InvokeReply), 7); },
                Outcome::ErrorStaysOpen, RPC_E_INVALID_DATA},
        Garbage{"ReleaseCountBeyondTheFrame", true,
                [](ObjectId root) {
                    Wire::Writer w(Wire::Type::Release, 7);
                    w.u32(100000);
                    w.u64(root);
                    return w.frame();
                },
                Outcome::ErrorStaysOpen, RPC_E_INVALID_DATA},
        Garbage{"ReleaseOfAnObjectNeverHeld", true,
                [](ObjectId root) { return ReleaseFrame(7, {root + 1000}); },
                Outcome::ErrorStaysOpen, RPC_E_DISCONNECTED},
        Garbage{"InvokeOnAnObjectNeverHeld", true,
                [](ObjectId root) { return InvokeFrame(7, root + 1000, 1, Get, {}); },
                Outcome::ErrorStaysOpen, RPC_E_DISCONNECTED},
        Garbage{"InvokeOfAMemberThatDoesNotExist", true,
                [](ObjectId root) { return InvokeFrame(7, root, 999, Get, {}); },
                Outcome::ErrorStaysOpen, DISP_E_MEMBERNOTFOUND},
        Garbage{"BooleanThatIsNeitherTrueNorFalse", true,
                [](ObjectId root) {
                    Wire::Writer w(Wire::Type::Invoke, 7);
                    w.u64(root);
                    w.i32(1);
                    w.u32(LOCALE_SYSTEM_DEFAULT);
                    w.u16(Get);
                    w.u32(1);
                    w.u16(VT_BOOL);
                    w.u16(5);
                    w.u32(0);
                    return w.frame();
                },
                Outcome::ErrorStaysOpen, DISP_E_BADVARTYPE},
        Garbage{"NamedArgumentsBeyondTheArguments", true,
                [](ObjectId root) {
                    Wire::Writer w(Wire::Type::Invoke, 7);
                    w.u64(root);
                    w.i32(1);
                    w.u32(LOCALE_SYSTEM_DEFAULT);
                    w.u16(Get);
                    w.u32(0);
                    w.u32(3);
                    return w.frame();
                },
                Outcome::ErrorStaysOpen, RPC_E_INVALID_DATA},
        Garbage{"NameLongerThanTheFrame", true,
                [](ObjectId root) {
                    Wire::Writer w(Wire::Type::GetIDsOfNames, 7);
                    w.u64(root);
                    w.u32(LOCALE_SYSTEM_DEFAULT);
                    w.u32(1);
                    w.u32(0x7fffffff);
                    w.u16(u'W');
                    return w.frame();
                },
                Outcome::ErrorStaysOpen, RPC_E_INVALID_DATA}),
    [](const ::testing::TestParamInfo<Garbage>& param) { return std::string(param.param.name); });

// Random bytes where a frame should start: the server answers only with errors, ends the
// connection or waits for the rest of what it took for a frame; it never goes down, and the
// others are served all along.
TEST_F(ServerFaults, RandomBytesFromManyClients)
{
    std::mt19937 random(20261211);
    constexpr int Rounds = 40;
    int closedByServer = 0;
    for (int round = 0; round < Rounds; ++round) {
        RawSession culprit;
        ASSERT_TRUE(culprit.connected());
        if (round % 2 == 1) {
            ASSERT_NE(culprit.hello(), 0u);
        }
        QByteArray bytes(int(1 + random() % 2048), Qt::Uninitialized);
        for (char& byte : bytes)
            byte = char(random());
        ASSERT_TRUE(culprit.send(bytes));
        // Whatever comes back is a well-formed error.
        while (const std::optional<QByteArray> payload = culprit.receivePayload(100ms)) {
            const std::optional<Reply> reply = Decode(*payload);
            ASSERT_TRUE(reply) << "round " << round << ": an undecodable reply";
            EXPECT_EQ(reply->type, Wire::Type::ErrorReply) << "round " << round;
        }
        closedByServer += culprit.closedByServer() ? 1 : 0;
        culprit.closeAbruptly();
        ASSERT_GE(BystanderCall(), 0) << "round " << round;
    }
    std::cout << closedByServer << " of " << Rounds
              << " random clients were dropped by the server\n";
    EXPECT_GT(closedByServer, 0);
    ExpectBystanderServedPromptly();
    ExpectDescriptorsBackToBaseline();
    EXPECT_TRUE(host.IsRunning());
}

// Well-framed requests with random contents after a proper greeting: every one gets exactly
// one reply with its own serial, in order, and the connection serves on.
TEST_F(ServerFaults, EveryWellFramedRandomRequestGetsItsOwnReply)
{
    RawSession culprit;
    ASSERT_TRUE(culprit.connected());
    const ObjectId root = culprit.hello();
    ASSERT_NE(root, 0u);
    std::mt19937 random(424242);
    const std::uint8_t types[] = {
        std::uint8_t(Wire::Type::GetIDsOfNames), std::uint8_t(Wire::Type::Invoke),    0, 0x42,
        std::uint8_t(Wire::Type::HelloReply),    std::uint8_t(Wire::Type::ErrorReply)};
    constexpr int Requests = 400;
    QByteArray batch;
    for (int i = 0; i < Requests; ++i) {
        const std::uint32_t serial = 1000 + std::uint32_t(i);
        Wire::Writer w(Wire::Type(types[random() % std::size(types)]), serial);
        // Half of them address the real application object with a plausible member.
        if (random() % 2) {
            w.u64(root);
            w.i32(std::int32_t(random() % 5) - 1);
        }
        QByteArray tail(int(random() % 64), Qt::Uninitialized);
        for (char& byte : tail)
            byte = char(random());
        w.bytes(tail.constData(), std::size_t(tail.size()));
        batch += w.frame();
    }
    ASSERT_TRUE(culprit.send(batch));
    for (int i = 0; i < Requests; ++i) {
        const std::optional<Reply> reply = culprit.receive();
        ASSERT_TRUE(reply) << "request " << i << " got no reply";
        EXPECT_EQ(reply->serial, 1000 + std::uint32_t(i));
    }
    EXPECT_TRUE(culprit.staysQuiet(100ms)) << "more replies than requests";
    EXPECT_EQ(culprit.call(root, QStringLiteral("Name"), Get).value.bstrVal(),
              QStringLiteral("SheetHost"));
    ExpectBystanderServedPromptly();
}

// ---------------------------------------------------------------------------------------------
// More clients than the server takes at once.

TEST_F(ServerFaults, ClientsBeyondTheLimitAreTurnedAwayUntilOneLeaves)
{
    // The bystander is one; fill the rest.
    std::vector<std::unique_ptr<RawSession>> crowd;
    ObjectId lastRoot = 0;
    for (std::size_t i = 1; i < ActiveObjectHost::MaxClients; ++i) {
        auto& session = *crowd.emplace_back(std::make_unique<RawSession>());
        ASSERT_TRUE(session.connected());
        lastRoot = session.hello();
        ASSERT_NE(lastRoot, 0u) << "client " << i;
    }
    RawSession turnedAway;
    ASSERT_TRUE(turnedAway.connected());
    turnedAway.send(HelloFrame(1));
    EXPECT_FALSE(turnedAway.receive(3s)) << "a client beyond the limit was greeted";
    EXPECT_TRUE(turnedAway.closedByServer());
    // Those already in are served as before.
    ExpectBystanderServedPromptly();
    EXPECT_EQ(crowd.back()->call(lastRoot, QStringLiteral("Name"), Get).value.bstrVal(),
              QStringLiteral("SheetHost"));

    // One leaves: the next one is taken in.
    crowd.front()->closeAbruptly();
    ObjectId root = 0;
    for (int attempt = 0; attempt < 100 && root == 0; ++attempt) {
        RawSession next;
        root = next.connected() ? next.hello() : 0;
        if (root != 0) {
            EXPECT_EQ(next.call(root, QStringLiteral("Name"), Get).value.bstrVal(),
                      QStringLiteral("SheetHost"));
        } else {
            std::this_thread::sleep_for(20ms);
        }
    }
    EXPECT_NE(root, 0u) << "no room made by a client that left";
    crowd.clear();
    ExpectDescriptorsBackToBaseline();
}

// ---------------------------------------------------------------------------------------------
// The server ends while clients are in every state.

TEST_F(ServerFaults, EndingWithClientsInEveryStateIsClean)
{
    std::vector<std::unique_ptr<RawSession>> clients;
    auto add = [&clients] { return clients.emplace_back(std::make_unique<RawSession>()).get(); };
    RawSession* silent = add(); // connected, never greeted
    ASSERT_TRUE(silent->connected());
    RawSession* holder = add(); // holds objects
    ASSERT_NE(LongTextCell(*holder), 0u);
    RawSession* halfway = add(); // stopped inside a frame
    const ObjectId root = halfway->hello();
    ASSERT_NE(root, 0u);
    ASSERT_TRUE(halfway->send(NamesFrame(1, root, {QStringLiteral("Workbooks")}).left(9)));
    for (const bool finished : {false, true}) {
        RawSession* backlog = add(); // replies piled up unread, still sending or done
        const ObjectId cell = LongTextCell(*backlog);
        ASSERT_NE(cell, 0u);
        const std::optional<DISPID> text = backlog->dispId(cell, QStringLiteral("Text"));
        ASSERT_TRUE(text);
        QByteArray batch;
        for (int i = 0; i < 300; ++i)
            batch += InvokeFrame(std::uint32_t(i + 100), cell, *text, Get, {});
        ASSERT_TRUE(backlog->send(batch));
        if (finished)
            backlog->shutDownSending();
    }
    ASSERT_GE(BystanderCall(), 0); // every request above has been handled

    EXPECT_EQ(host.Stop(), QString());
    for (std::size_t i = 0; i < clients.size(); ++i)
        EXPECT_TRUE(clients[i]->drainUntilClosed()) << "client " << i << " was left hanging";
    EXPECT_TRUE(bystander().drainUntilClosed());
    // The entry went with the server: nobody finds a dead socket.
    EXPECT_FALSE(QFileInfo::exists(SocketPath()));
}

// ---------------------------------------------------------------------------------------------
// A frame that stops half-way.

class HalfFrame : public ServerFaults, public ::testing::WithParamInterface<int>
{
};

TEST_P(HalfFrame, WaitsForTheRestWhileOthersAreServed)
{
    RawSession stalled;
    ASSERT_TRUE(stalled.connected());
    const ObjectId root = stalled.hello();
    ASSERT_NE(root, 0u);
    const QByteArray frame = NamesFrame(77, root, {QStringLiteral("Workbooks")});
    const int cut = GetParam() < 0 ? int(frame.size()) + GetParam() : GetParam();
    ASSERT_TRUE(stalled.send(frame.left(cut)));

    ExpectBystanderServedPromptly(5);
    EXPECT_TRUE(stalled.staysQuiet(300ms)) << "the server answered or dropped a client that paused";
    ExpectBystanderServedPromptly(2);

    // The rest arrives: the request is answered as if it had come in one piece.
    ASSERT_TRUE(stalled.send(frame.mid(cut)));
    const std::optional<Reply> reply = stalled.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->type, Wire::Type::NamesReply);
    EXPECT_EQ(reply->serial, 77u);
}

// Inside the length, right after it, inside the header, one byte short.
INSTANTIATE_TEST_SUITE_P(Server, HalfFrame, ::testing::Values(2, 4, 7, -1),
                         [](const ::testing::TestParamInfo<int>& param) {
                             return param.param < 0 ? std::string("OneByteShort")
                                                    : "After" + std::to_string(param.param);
                         });

TEST_F(ServerFaults, AClientSendingOneByteAtATimeDelaysNobody)
{
    RawSession slow;
    ASSERT_TRUE(slow.connected());
    const ObjectId root = slow.hello();
    ASSERT_NE(root, 0u);
    QByteArray requests;
    for (std::uint32_t serial = 50; serial < 53; ++serial)
        requests += NamesFrame(serial, root, {QStringLiteral("Workbooks")});
    for (qsizetype i = 0; i < requests.size(); ++i) {
        ASSERT_TRUE(slow.send(requests.mid(i, 1)));
        if (i % 16 == 0) {
            ASSERT_LT(BystanderCall(), PromptMs);
        }
    }
    for (std::uint32_t serial = 50; serial < 53; ++serial) {
        const std::optional<Reply> reply = slow.receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->serial, serial);
        EXPECT_EQ(reply->type, Wire::Type::NamesReply);
    }
}

// ---------------------------------------------------------------------------------------------
// A client that never reads what it asked for.

// How a client that asked for many large replies goes on before reading them.
enum class ThenReads
{
    StillSending, // keeps its sending side open
    DoneSending,  // shuts its sending side: nothing more will come, the replies still will
};

void PrintTo(ThenReads then, std::ostream* out)
{
    *out << (then == ThenReads::StillSending ? "still sending" : "done sending");
}

class LateReader : public ServerFaults, public ::testing::WithParamInterface<ThenReads>
{
};

TEST_P(LateReader, BlocksNobodyAndLosesNothing)
{
    RawSession lazy;
    ASSERT_TRUE(lazy.connected());
    const ObjectId cell = LongTextCell(lazy);
    ASSERT_NE(cell, 0u);
    const std::optional<DISPID> text = lazy.dispId(cell, QStringLiteral("Text"));
    ASSERT_TRUE(text);

    // Far more than the socket holds: the rest waits in the server.
    constexpr int Requests = 200;
    QByteArray batch;
    for (int i = 0; i < Requests; ++i)
        batch += InvokeFrame(std::uint32_t(500 + i), cell, *text, Get, {});
    ASSERT_TRUE(lazy.send(batch));
    if (GetParam() == ThenReads::DoneSending)
        lazy.shutDownSending();
    ExpectBystanderServedPromptly(10);

    // Read late, every reply is there, whole and in order.
    for (int i = 0; i < Requests; ++i) {
        const std::optional<Reply> reply = lazy.receive();
        ASSERT_TRUE(reply) << "reply " << i
                           << " lost; closed by the server: " << lazy.closedByServer();
        EXPECT_EQ(reply->serial, std::uint32_t(500 + i));
        ASSERT_EQ(reply->value.bstrVal().size(), LongTextLength) << "reply " << i;
    }
    ExpectBystanderServedPromptly();
    if (GetParam() == ThenReads::DoneSending) {
        EXPECT_TRUE(lazy.drainUntilClosed()) << "the server kept a finished client";
        ExpectDescriptorsBackToBaseline();
    }
}

INSTANTIATE_TEST_SUITE_P(Server, LateReader,
                         ::testing::Values(ThenReads::StillSending, ThenReads::DoneSending),
                         [](const ::testing::TestParamInfo<ThenReads>& param) {
                             return param.param == ThenReads::StillSending
                                        ? std::string("StillSending")
                                        : std::string("DoneSending");
                         });

// A backlog of replies near the limit, then read as fast as the client can: sending it must
// not hold up the server's other clients.
TEST_F(ServerFaults, DrainingALargeBacklogDelaysNobody)
{
    RawSession greedy;
    ASSERT_TRUE(greedy.connected());
    const ObjectId cell = LongTextCell(greedy);
    ASSERT_NE(cell, 0u);
    const std::optional<DISPID> text = greedy.dispId(cell, QStringLiteral("Text"));
    ASSERT_TRUE(text);
    // About 48 MB of replies, below the limit at which the server gives up on a client.
    const int requests = int(48 * 1024 * 1024 / (2 * LongTextLength));
    QByteArray batch;
    for (int i = 0; i < requests; ++i)
        batch += InvokeFrame(std::uint32_t(i + 1), cell, *text, Get, {});
    ASSERT_TRUE(greedy.send(batch));
    // Every request has been answered into the backlog once a later call comes back.
    ASSERT_GE(BystanderCall(), 0);

    // Each reply: length, type, serial, variant type, text length, the text.
    const std::size_t replyBytes = 4 + 1 + 4 + 2 + 4 + 2 * std::size_t(LongTextLength);
    const std::size_t expected = std::size_t(requests) * replyBytes;
    std::atomic<std::size_t> received{0};
    std::atomic<bool> done{false};
    QElapsedTimer draining;
    draining.start();
    std::thread reader([&] {
        received = greedy.discard(expected, 30s);
        done = true;
    });
    qint64 slowest = 0;
    int calls = 0;
    while (!done) {
        const qint64 ms = BystanderCall();
        ASSERT_GE(ms, 0);
        slowest = std::max(slowest, ms);
        ++calls;
    }
    reader.join();
    std::cout << requests << " replies (" << expected / 1024 / 1024 << " MB) drained in "
              << draining.elapsed() << " ms; " << calls << " calls meanwhile, slowest " << slowest
              << " ms\n";
    EXPECT_EQ(received, expected);
    EXPECT_LT(slowest, PromptMs);
}

TEST_F(ServerFaults, ClientsWhoseUnreadRepliesPileUpWithoutEndAreDropped)
{
    // One after another: what a dropped client had piled up is given back, so the next one
    // costs no more memory.
    constexpr int Hoarders = 3;
    std::vector<qint64> resident;
    for (int round = 0; round < Hoarders; ++round) {
        SCOPED_TRACE(::testing::Message() << "hoarder " << round);
        RawSession hoarder;
        ASSERT_TRUE(hoarder.connected());
        const ObjectId cell = LongTextCell(hoarder);
        ASSERT_NE(cell, 0u);
        const std::optional<DISPID> text = hoarder.dispId(cell, QStringLiteral("Text"));
        ASSERT_TRUE(text);
        ASSERT_GT(OpenDescriptors(host.Pid()), baseline);

        // About 100 MB of replies asked for and never read.
        const int requests = int(100 * 1024 * 1024 / (2 * LongTextLength));
        QByteArray batch;
        for (int i = 0; i < requests; ++i)
            batch += InvokeFrame(std::uint32_t(i + 1000), cell, *text, Get, {});
        QElapsedTimer timer;
        timer.start();
        // The server may drop the connection before taking all of it.
        hoarder.send(batch, 20s);

        // The server gives up on it while this end is still open, and serves the others.
        ASSERT_EQ(WaitForDescriptorsAtMost(host.Pid(), baseline, 30s), baseline);
        resident.push_back(ResidentKilobytes(host.Pid()));
        std::cout << "hoarder " << round << " dropped after " << timer.elapsed() << " ms; resident "
                  << resident.back() << " kB\n";
        ExpectBystanderServedPromptly();
        EXPECT_TRUE(hoarder.drainUntilClosed(10s));
    }
    // A server that kept a dropped client's replies would hold 64 MB more for each.
    EXPECT_LT(resident.back() - resident.front(), 24 * 1024);
}

} // namespace
