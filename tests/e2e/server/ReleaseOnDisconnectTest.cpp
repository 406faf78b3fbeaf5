// The host's bookkeeping of what clients hold, seen from the served objects themselves: every
// reference a client takes is given back by the time it has gone, however it goes, over a
// thousand sessions.
#include "sheethost/model/Workbook.h"
#include "sheethost/server/ObjectModel.h"
#include "tests/e2e/server/Sessions.h"
#include "tests/platform/automation/AutomationTestSupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <iostream>
#include <thread>
// Built with the address sanitizer (GCC says so one way, Clang another).
#if defined(__SANITIZE_ADDRESS__)
#define SERVER_TESTS_WITH_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SERVER_TESTS_WITH_ASAN 1
#endif
#endif
#if defined(SERVER_TESTS_WITH_ASAN)
// From the sanitizer runtime (its header is not always installed).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

using namespace ServerProbe;
using namespace Automation;

constexpr WORD Get = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

// "Child" makes a new object, "Self" hands out this one again, "Name" is a text. Counts the
// objects alive.
class CountedObject final : public DispatchObject
{
public:
    static inline std::atomic<int> alive{0};
    CountedObject() { ++alive; }
    ~CountedObject() override { --alive; }

    HRESULT GetIDsOfNames(const IID&, const QString* names, UINT count, LCID, DISPID* ids) override
    {
        for (UINT i = 0; i < count; ++i) {
            if (names[i] == QStringLiteral("Child"))
                ids[i] = 1;
            else if (names[i] == QStringLiteral("Self"))
                ids[i] = 2;
            else if (names[i] == QStringLiteral("Name"))
                ids[i] = 3;
            else
                return DISP_E_UNKNOWNNAME;
        }
        return S_OK;
    }
    HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS*, Variant* result, EXCEPINFO*,
                   UINT*) override
    {
        switch (id) {
        case 1:
            *result = Variant::FromDispatch(MakeDispatch<CountedObject>());
            return S_OK;
        case 2:
            *result = Variant::FromDispatch(ComPtr<IDispatch>(this));
            return S_OK;
        case 3:
            *result = Variant::FromBstr(QStringLiteral("counted"));
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }
};

class ReleaseOnDisconnect : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(CountedObject::alive, 0);
        ASSERT_TRUE(server.start(AutomationTest::ExcelClsid(), MakeDispatch<CountedObject>()));
        ASSERT_EQ(CountedObject::alive, 1);
    }
    void TearDown() override
    {
        server.stop();
        EXPECT_EQ(CountedObject::alive, 0);
    }

    // Waits until no client is left; false when some stay.
    bool AllClientsGone()
    {
        QElapsedTimer timer;
        timer.start();
        while (server.clientCount() != 0 && timer.elapsed() < 10000)
            std::this_thread::sleep_for(1ms);
        return server.clientCount() == 0;
    }

    AutomationTest::HostedServer server;
};

// One session: children taken in a batch, the root handed out again, and the end as told.
// Fails the test (and says which session) when the server does not hold exactly what this
// client took.
void RunCountedSession(SessionEnd end, int index, int children)
{
    SCOPED_TRACE(::testing::Message() << "session " << index);
    if (end == SessionEnd::RealClient) {
        Variant application;
        ASSERT_EQ(AutomationTest::Attach(application), S_OK);
        std::vector<Variant> kept;
        for (int i = 0; i < children; ++i) {
            const QString member = QStringLiteral("Child");
            DISPID id = 0;
            ASSERT_EQ(application.pdispVal()->GetIDsOfNames(IID_NULL, &member, 1, 0, &id), S_OK);
            DISPPARAMS none;
            Variant child;
            EXCEPINFO info;
            UINT argErr = 0;
            ASSERT_EQ(
                application.pdispVal()->Invoke(id, IID_NULL, 0, Get, &none, &child, &info, &argErr),
                S_OK);
            kept.push_back(child);
        }
        EXPECT_EQ(CountedObject::alive, 1 + children);
        return; // every proxy dropped, the releases never sent: the connection just ends
    }

    RawSession session;
    ASSERT_TRUE(session.connected());
    const ObjectId root = session.hello();
    ASSERT_NE(root, 0u);
    std::vector<ObjectId> held{root};
    const std::optional<DISPID> child = session.dispId(root, QStringLiteral("Child"));
    const std::optional<DISPID> self = session.dispId(root, QStringLiteral("Self"));
    ASSERT_TRUE(child && self);
    QByteArray batch;
    for (int i = 0; i < children; ++i)
        batch += InvokeFrame(session.nextSerial(), root, *child, Get, {});
    // The root a second and third time: one object, three references.
    batch += InvokeFrame(session.nextSerial(), root, *self, Get, {});
    batch += InvokeFrame(session.nextSerial(), root, *self, Get, {});
    ASSERT_TRUE(session.send(batch));
    for (int i = 0; i < children + 2; ++i) {
        const std::optional<Reply> reply = session.receive();
        ASSERT_TRUE(reply);
        ASSERT_NE(reply->object, 0u);
        held.push_back(reply->object);
    }
    EXPECT_EQ(held.back(), root);
    EXPECT_EQ(CountedObject::alive, 1 + children);

    switch (end) {
    case SessionEnd::ReleaseAndShutDown: {
        ASSERT_TRUE(session.send(ReleaseFrame(session.nextSerial(), held)));
        // A reply proves the release was handled before it: the server holds the root alone.
        ASSERT_EQ(session.call(root, QStringLiteral("Name"), Get).type, Wire::Type::ErrorReply)
            << "the root was still held after its last reference was given back";
        EXPECT_EQ(CountedObject::alive, 1);
        EXPECT_TRUE(session.closePolitely());
        break;
    }
    case SessionEnd::CloseHoldingAll:
        session.closeAbruptly();
        break;
    case SessionEnd::CloseWithReplyUnread:
        session.send(InvokeFrame(session.nextSerial(), root, *child, Get, {}));
        session.closeAbruptly();
        break;
    case SessionEnd::ReleaseHalfAndClose: {
        // Half the children, and the root once more than it was handed out: the surplus is
        // refused, nothing is freed twice.
        std::vector<ObjectId> some(held.begin() + 1, held.begin() + 1 + children / 2);
        some.insert(some.end(), 4, root);
        const std::uint32_t serial = session.nextSerial();
        ASSERT_TRUE(session.send(ReleaseFrame(serial, some)));
        const std::optional<Reply> refused = session.receive();
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->serial, serial);
        EXPECT_EQ(std::uint32_t(refused->hr), std::uint32_t(RPC_E_DISCONNECTED));
        EXPECT_EQ(CountedObject::alive, 1 + children - children / 2);
        session.closeAbruptly();
        break;
    }
    case SessionEnd::RealClient:
        break;
    }
}

TEST_F(ReleaseOnDisconnect, AThousandSessionsGiveBackEverythingTheyHeld)
{
    constexpr int Sessions = 1000;
    constexpr int Children = 6;
    for (int i = 0; i < Sessions; ++i) {
        const SessionEnd end = AllSessionEnds[std::size_t(i) % AllSessionEnds.size()];
        // Each session counts what the server holds, so the previous client must be gone.
        ASSERT_TRUE(AllClientsGone()) << "before session " << i;
        ASSERT_EQ(CountedObject::alive, 1) << "left behind before session " << i;
        RunCountedSession(end, i, Children);
        if (HasFatalFailure())
            return;
    }
    ASSERT_TRUE(AllClientsGone());
    EXPECT_EQ(CountedObject::alive, 1);
}

// The sanitizer's count of bytes allocated and not yet freed, over the whole process: exact,
// where resident memory is not.
#if defined(SERVER_TESTS_WITH_ASAN)
TEST_F(ReleaseOnDisconnect, SessionsLeaveNoAllocationBehind)
{
    constexpr int WarmUp = 200;
    constexpr int Measured = 2000;
    auto run = [this](int count) {
        for (int i = 0; i < count; ++i) {
            const SessionEnd end = AllSessionEnds[std::size_t(i) % AllSessionEnds.size()];
            RunCountedSession(end, i, 6);
            ASSERT_TRUE(AllClientsGone());
        }
    };
    run(WarmUp);
    ASSERT_FALSE(HasFatalFailure());
    const std::size_t before = __sanitizer_get_current_allocated_bytes();
    run(Measured);
    ASSERT_FALSE(HasFatalFailure());
    const std::size_t after = __sanitizer_get_current_allocated_bytes();
    const auto perSession = (double(after) - double(before)) / Measured;
    std::cout << "allocated " << before << " -> " << after << " bytes, " << perSession
              << " a session\n";
    EXPECT_LT(perSession, 16.0);
}
#endif

TEST_F(ReleaseOnDisconnect, ClientsGoingAwayTogetherGiveBackEverything)
{
    constexpr int Clients = 32;
    constexpr int Children = 20;
    std::vector<std::unique_ptr<RawSession>> sessions;
    int expected = 1;
    for (int c = 0; c < Clients; ++c) {
        auto& session = *sessions.emplace_back(std::make_unique<RawSession>());
        ASSERT_TRUE(session.connected());
        const ObjectId root = session.hello();
        ASSERT_NE(root, 0u);
        for (int i = 0; i < Children; ++i)
            ASSERT_NE(session.call(root, QStringLiteral("Child"), Get).object, 0u);
        expected += Children;
    }
    // Every client holds its own children; nobody shares.
    EXPECT_EQ(CountedObject::alive, expected);
    EXPECT_EQ(server.clientCount(), Clients);
    sessions.clear();
    ASSERT_TRUE(AllClientsGone());
    EXPECT_EQ(CountedObject::alive, 1);
}

#if defined(SERVER_TESTS_WITH_ASAN)
// SheetHost's own object model served in this process, so that the sanitizer's exact count
// covers the objects a session makes: a thousand real sessions, every way of ending, and not a
// byte more held afterwards.
TEST(ServedObjectModel, SessionsLeaveNoAllocationBehind)
{
    AutomationTest::ServerThread thread;
    std::unique_ptr<SheetHost::Application> application;
    std::unique_ptr<ActiveObjectHost> host;
    bool registered = false;
    thread.run([&] {
        application = std::make_unique<SheetHost::Application>();
        auto book = std::make_unique<SheetHost::Workbook>(QStringLiteral("Served.xlsx"), QString());
        SheetHost::Worksheet& data = book->addWorksheet(QStringLiteral("Data"));
        const QString longText(LongTextLength, u'x');
        data.setCell({1, 1}, longText, longText);
        data.setCell({2, 2}, QStringLiteral("hay"), QStringLiteral("hay"));
        data.setCell({4, 3}, QStringLiteral("a needle here"), QStringLiteral("a needle here"));
        data.setCell({6, 4}, QStringLiteral("more hay"), QStringLiteral("more hay"));
        book->addWorksheet(QStringLiteral("Other"))
            .setCell({1, 1}, QStringLiteral("x"), QStringLiteral("x"));
        application->openWorkbook(std::move(book));
        host = std::make_unique<ActiveObjectHost>();
        registered = host->registerObject(AutomationTest::ExcelClsid(),
                                          SheetHost::CreateApplicationObject(*application));
    });
    ASSERT_TRUE(registered);
    auto clientsGone = [&] {
        int clients = -1;
        for (int i = 0; i < 10000 && clients != 0; ++i) {
            thread.run([&] { clients = host->clientCount(); });
            if (clients != 0)
                std::this_thread::sleep_for(1ms);
        }
        return clients == 0;
    };
    auto run = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const SessionEnd end = AllSessionEnds[std::size_t(i) % AllSessionEnds.size()];
            ASSERT_EQ(RunSession(end, i), QString()) << "session " << i;
            ASSERT_TRUE(clientsGone()) << "session " << i;
        }
    };
    run(200);
    ASSERT_FALSE(HasFatalFailure());
    const std::size_t before = __sanitizer_get_current_allocated_bytes();
    constexpr int Measured = 1000;
    run(Measured);
    ASSERT_FALSE(HasFatalFailure());
    const std::size_t after = __sanitizer_get_current_allocated_bytes();
    const auto perSession = (double(after) - double(before)) / Measured;
    std::cout << "object model: allocated " << before << " -> " << after << " bytes, " << perSession
              << " a session\n";
    EXPECT_LT(perSession, 16.0);
    thread.run([&] {
        host.reset();
        application.reset();
    });
}
#endif

} // namespace
