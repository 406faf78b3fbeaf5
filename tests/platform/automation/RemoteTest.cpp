#include "platform/automation/AutomationError.h"
#include "platform/automation/RunningObjectTable.h"
#include "platform/automation/Wire.h"
#include "tests/platform/automation/AutomationTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtEndian>
#include <csignal>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace Automation;
using AutomationTest::HostedServer;
using AutomationTest::RecordingDispatch;

namespace {

CLSID ExcelClsid()
{
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(QStringLiteral("Excel.Application"), &clsid), S_OK);
    return clsid;
}

QString SocketPath()
{
    return RunningObjectTable::SocketPath(ExcelClsid());
}

HRESULT Attach(ComPtr<IDispatch>& out)
{
    IUnknown* unknown = nullptr;
    const HRESULT hr = GetActiveObject(ExcelClsid(), nullptr, &unknown);
    if (FAILED(hr))
        return hr;
    const auto holder = ComPtr<IUnknown>::Adopt(unknown);
    void* dispatch = nullptr;
    const HRESULT qi = holder->QueryInterface(IID_IDispatch, &dispatch);
    out = ComPtr<IDispatch>::Adopt(static_cast<IDispatch*>(dispatch));
    return qi;
}

// One call with the arguments in Excel's order.
HRESULT CallMember(IDispatch* object, const QString& member, std::vector<Variant> arguments,
                   Variant* result = nullptr, EXCEPINFO* info = nullptr,
                   WORD flags = DISPATCH_METHOD)
{
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, &member, 1, LOCALE_SYSTEM_DEFAULT, &id);
    if (FAILED(hr))
        return hr;
    std::vector<Variant> reversed(arguments.rbegin(), arguments.rend());
    DISPPARAMS params{reversed.data(), nullptr, UINT(reversed.size()), 0};
    Variant ignored;
    EXCEPINFO ignoredInfo;
    UINT argErr = 0;
    return object->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, flags, &params,
                          result ? result : &ignored, info ? info : &ignoredInfo, &argErr);
}

// Creates a socket file with nobody listening on it, as a crashed server leaves behind.
void LeaveStaleSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    std::memcpy(address.sun_path, native.constData(), std::size_t(native.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    struct stat info
    {
    };
    ASSERT_EQ(::lstat(native.constData(), &info), 0);
    ASSERT_TRUE(S_ISSOCK(info.st_mode));
}

TEST(RunningObjectTable, FolderIsPrivateUnderTheRuntimeFolder)
{
    const QString folder = RunningObjectTable::Folder();
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_TRUE(folder.startsWith(qEnvironmentVariable("XDG_RUNTIME_DIR")));
    struct stat info
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(SocketPath().endsWith(QStringLiteral("/{00024500-0000-0000-C000-000000000046}")));
}

TEST(RunningObjectTable, WithoutRuntimeFolderUsesAPrivateFolderInTemp)
{
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    const QString expected = QDir::tempPath() + QStringLiteral("/tabrill-rot-%1").arg(::geteuid());
    QDir().mkpath(expected);
    ::chmod(QFile::encodeName(expected).constData(), 0755); // loose: our own, so it is tightened
    const QString folder = RunningObjectTable::Folder();
    qputenv("XDG_RUNTIME_DIR", saved);
    EXPECT_EQ(folder, expected);
    struct stat info
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(RunningObjectTable, RefusesAFolderThatIsALink)
{
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    const QString runtime = TestEnvironment::Root() + QStringLiteral("/linked-runtime");
    QDir().mkpath(runtime);
    ::chmod(QFile::encodeName(runtime).constData(), 0700);
    QDir().mkpath(TestEnvironment::Root() + QStringLiteral("/elsewhere"));
    QFile::link(TestEnvironment::Root() + QStringLiteral("/elsewhere"),
                runtime + QStringLiteral("/tabrill-rot"));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    QString error;
    const QString folder = RunningObjectTable::Folder(&error);
    qputenv("XDG_RUNTIME_DIR", saved);
    EXPECT_TRUE(folder.isEmpty());
    EXPECT_FALSE(error.isEmpty());
}

TEST(Com, InitialisationIsCountedPerThread)
{
    // The main thread was initialised when the application object was made.
    EXPECT_TRUE(IsInitialized());
    EXPECT_EQ(CoInitialize(), S_FALSE);
    CoUninitialize();
    EXPECT_TRUE(IsInitialized());

    std::thread([] {
        EXPECT_FALSE(IsInitialized());
        IUnknown* unknown = reinterpret_cast<IUnknown*>(1);
        EXPECT_EQ(GetActiveObject(ExcelClsid(), nullptr, &unknown), CO_E_NOTINITIALIZED);
        EXPECT_EQ(unknown, nullptr);
        EXPECT_EQ(CoInitialize(), S_OK);
        EXPECT_EQ(CoInitialize(), S_FALSE);
        CoUninitialize();
        EXPECT_TRUE(IsInitialized());
        CoUninitialize();
        EXPECT_FALSE(IsInitialized());
    }).join();
}

TEST(Com, ProgIdLookup)
{
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(QStringLiteral("excel.application"), &clsid), S_OK);
    EXPECT_EQ(StringFromGUID(clsid), QStringLiteral("{00024500-0000-0000-C000-000000000046}"));
    EXPECT_EQ(CLSIDFromProgID(QStringLiteral("Word.Application"), &clsid), CO_E_CLASSSTRING);
}

TEST(GetActiveObject, UnavailableWithoutServer)
{
    QFile::remove(SocketPath());
    IUnknown* unknown = nullptr;
    EXPECT_EQ(GetActiveObject(ExcelClsid(), nullptr, &unknown), MK_E_UNAVAILABLE);
    EXPECT_EQ(unknown, nullptr);

    LeaveStaleSocket(SocketPath());
    EXPECT_EQ(GetActiveObject(ExcelClsid(), nullptr, &unknown), MK_E_UNAVAILABLE);
    QFile::remove(SocketPath());

    QFile plain(SocketPath());
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_EQ(GetActiveObject(ExcelClsid(), nullptr, &unknown), MK_E_UNAVAILABLE);
    QFile::remove(SocketPath());
}

class Remote : public ::testing::Test
{
protected:
    void SetUp() override
    {
        recorder = MakeDispatch<RecordingDispatch>();
        ASSERT_TRUE(server.start(ExcelClsid(), recorder));
        ASSERT_EQ(Attach(client), S_OK);
    }

    ComPtr<RecordingDispatch> recorder;
    HostedServer server;
    ComPtr<IDispatch> client;
};

TEST_F(Remote, ArgumentsAndResultsOfEveryTypeTravel)
{
    const std::vector<Variant> values{Variant(),
                                      Variant::Null(),
                                      Variant::FromI2(-2),
                                      Variant::FromI4(1048576),
                                      Variant::FromR8(0.1),
                                      Variant::FromBool(true),
                                      Variant::FromBool(false),
                                      Variant::Missing(),
                                      Variant::FromBstr(QStringLiteral("全角ＡＢＣ\U00020BB7"))};
    ASSERT_EQ(CallMember(client.get(), QStringLiteral("Take"), values), S_OK);
    const auto calls = recorder->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].member, QStringLiteral("Take"));
    EXPECT_EQ(calls[0].flags, DISPATCH_METHOD);
    ASSERT_EQ(calls[0].arguments.size(), values.size());
    // They arrive as they were sent: reversed.
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_TRUE(calls[0].arguments[i] == values[values.size() - 1 - i]) << i;

    for (const Variant& value : values) {
        recorder->answer(QStringLiteral("Give"), value);
        Variant result;
        ASSERT_EQ(CallMember(client.get(), QStringLiteral("Give"), {}, &result), S_OK);
        EXPECT_TRUE(result == value) << "vt " << value.vt();
    }
}

TEST_F(Remote, ObjectsComeBackAsTheSameServerObject)
{
    Variant self;
    ASSERT_EQ(CallMember(client.get(), QStringLiteral("Self"), {}, &self), S_OK);
    ASSERT_EQ(self.vt(), VT_DISPATCH);
    ASSERT_NE(self.pdispVal(), nullptr);
    ASSERT_EQ(CallMember(self.pdispVal(), QStringLiteral("Take"), {self}), S_OK);
    const auto calls = recorder->calls();
    ASSERT_EQ(calls.size(), 2u);
    ASSERT_EQ(calls[1].arguments.size(), 1u);
    EXPECT_EQ(calls[1].arguments[0].pdispVal(), static_cast<IDispatch*>(recorder.get()));

    // A local object cannot be sent to the server.
    const Variant local = Variant::FromDispatch(MakeDispatch<RecordingDispatch>());
    EXPECT_EQ(CallMember(client.get(), QStringLiteral("Take"), {local}), DISP_E_TYPEMISMATCH);
}

TEST_F(Remote, ErrorsCarryTheServersDescription)
{
    recorder->fail(QStringLiteral("item"), DISP_E_BADINDEX,
                   QStringLiteral("インデックスが有効範囲にありません。"));
    EXCEPINFO info;
    EXPECT_EQ(CallMember(client.get(), QStringLiteral("item"),
                         {Variant::FromBstr(QStringLiteral("x"))}, nullptr, &info),
              DISP_E_EXCEPTION);
    EXPECT_EQ(info.scode, DISP_E_BADINDEX);
    EXPECT_EQ(info.bstrSource, QStringLiteral("Recorder"));
    EXPECT_EQ(info.bstrDescription, QStringLiteral("インデックスが有効範囲にありません。"));

    recorder->refuseName(QStringLiteral("Nothing"));
    EXPECT_EQ(CallMember(client.get(), QStringLiteral("Nothing"), {}), DISP_E_UNKNOWNNAME);
    // The connection is still good.
    EXPECT_EQ(CallMember(client.get(), QStringLiteral("Fine"), {}), S_OK);
}

TEST_F(Remote, ReleasedAndDisconnectedReferencesFreeServerObjects)
{
    const int before = RecordingDispatch::alive;
    recorder->answer(QStringLiteral("Child"),
                     Variant::FromDispatch(MakeDispatch<RecordingDispatch>()));
    {
        Variant child;
        ASSERT_EQ(CallMember(client.get(), QStringLiteral("Child"), {}, &child), S_OK);
        ASSERT_EQ(child.vt(), VT_DISPATCH);
    }
    recorder->answer(QStringLiteral("Child"), Variant::FromI4(0));
    // Dropped by the client, but its release has not reached the server yet.
    EXPECT_EQ(RecordingDispatch::alive, before + 1);
    // The release travels with the client's next call.
    EXPECT_EQ(CallMember(client.get(), QStringLiteral("Ping"), {}), S_OK);
    EXPECT_EQ(RecordingDispatch::alive, before);

    // A client that goes away gives up everything it held.
    recorder->answer(QStringLiteral("Child"),
                     Variant::FromDispatch(MakeDispatch<RecordingDispatch>()));
    Variant kept;
    ASSERT_EQ(CallMember(client.get(), QStringLiteral("Child"), {}, &kept), S_OK);
    recorder->answer(QStringLiteral("Child"), Variant());
    EXPECT_EQ(RecordingDispatch::alive, before + 1);
    kept = Variant();
    client = nullptr;
    QElapsedTimer timer;
    timer.start();
    while (server.clientCount() != 0 && timer.elapsed() < 5000)
        QThread::msleep(10);
    EXPECT_EQ(server.clientCount(), 0);
    EXPECT_EQ(RecordingDispatch::alive, before);
}

// Fixed members "Row" and "Child"; counts how often names are resolved.
class StableDispatch final : public DispatchObject, public StableMemberNames
{
public:
    static inline std::atomic<int> resolutions{0};

    std::uint64_t namesTag() const override { return 0x5AB1E; }
    HRESULT GetIDsOfNames(const IID&, const QString* names, UINT, LCID, DISPID* ids) override
    {
        ++resolutions;
        if (names[0] == QStringLiteral("Row"))
            ids[0] = 1;
        else if (names[0] == QStringLiteral("Child"))
            ids[0] = 2;
        else
            return DISP_E_UNKNOWNNAME;
        return S_OK;
    }
    HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS*, Variant* result, EXCEPINFO*,
                   UINT*) override
    {
        *result =
            id == 1 ? Variant::FromI4(7) : Variant::FromDispatch(MakeDispatch<StableDispatch>());
        return S_OK;
    }
};

TEST(RemoteNames, NamesOfStableObjectsResolveOncePerConnection)
{
    HostedServer server;
    ASSERT_TRUE(server.start(ExcelClsid(), MakeDispatch<StableDispatch>()));
    ComPtr<IDispatch> client;
    ASSERT_EQ(Attach(client), S_OK);
    StableDispatch::resolutions = 0;
    Variant result;
    ASSERT_EQ(CallMember(client.get(), QStringLiteral("Row"), {}, &result), S_OK);
    EXPECT_EQ(result.lVal(), 7);
    Variant child;
    ASSERT_EQ(CallMember(client.get(), QStringLiteral("Child"), {}, &child), S_OK);
    // Another object with the same tag reuses what the first resolved.
    ASSERT_EQ(CallMember(child.pdispVal(), QStringLiteral("Row"), {}, &result), S_OK);
    EXPECT_EQ(result.lVal(), 7);
    EXPECT_EQ(StableDispatch::resolutions, 2);
    // Failures are never kept.
    EXPECT_EQ(CallMember(client.get(), QStringLiteral("Nothing"), {}), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(CallMember(client.get(), QStringLiteral("Nothing"), {}), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(StableDispatch::resolutions, 4);
    // A new connection starts afresh.
    ComPtr<IDispatch> again;
    ASSERT_EQ(Attach(again), S_OK);
    ASSERT_EQ(CallMember(again.get(), QStringLiteral("Row"), {}, &result), S_OK);
    EXPECT_EQ(StableDispatch::resolutions, 5);
}

TEST_F(Remote, SecondServerIsRefusedWhileTheFirstLives)
{
    HostedServer second;
    EXPECT_FALSE(second.start(ExcelClsid(), MakeDispatch<RecordingDispatch>()));
    EXPECT_EQ(CallMember(client.get(), QStringLiteral("Still"), {}), S_OK);
    // Stopping the first removes its entry; then a new one may register.
    client = nullptr;
    server.stop();
    EXPECT_FALSE(QFile::exists(SocketPath()));
    ComPtr<IDispatch> none;
    EXPECT_EQ(Attach(none), MK_E_UNAVAILABLE);
    HostedServer third;
    EXPECT_TRUE(third.start(ExcelClsid(), MakeDispatch<RecordingDispatch>()));
}

TEST(RemoteEntry, StaleEntryIsTakenOver)
{
    QFile::remove(SocketPath());
    LeaveStaleSocket(SocketPath());
    auto recorder = MakeDispatch<RecordingDispatch>();
    HostedServer server;
    ASSERT_TRUE(server.start(ExcelClsid(), recorder));
    ComPtr<IDispatch> client;
    ASSERT_EQ(Attach(client), S_OK);
    EXPECT_EQ(CallMember(client.get(), QStringLiteral("Hello"), {}), S_OK);
}

TEST(RemoteEntry, WorksWithARuntimeFolderPathTooLongForASocketAddress)
{
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    const QString runtime = TestEnvironment::Root() + QStringLiteral("/") + QString(60, u'r') +
                            QStringLiteral("/") + QString(60, u's');
    QDir().mkpath(runtime);
    ::chmod(QFile::encodeName(runtime).constData(), 0700);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    {
        ASSERT_GT(QFile::encodeName(SocketPath()).size(), 108);
        HostedServer server;
        ASSERT_TRUE(server.start(ExcelClsid(), MakeDispatch<RecordingDispatch>()));
        ComPtr<IDispatch> client;
        ASSERT_EQ(Attach(client), S_OK);
        EXPECT_EQ(CallMember(client.get(), QStringLiteral("Hello"), {}), S_OK);
        client = nullptr;
        server.stop();
        EXPECT_FALSE(QFile::exists(SocketPath()));
    }
    qputenv("XDG_RUNTIME_DIR", saved);
}

TEST_F(Remote, ALiveServerThatDoesNotAnswerInTimeGivesATimeout)
{
    const auto saved = CallTimeout();
    SetCallTimeout(std::chrono::milliseconds(300));
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(CallMember(client.get(), QStringLiteral("Sleep"), {Variant::FromI4(3000)}),
              RPC_E_TIMEOUT);
    EXPECT_LT(timer.elapsed(), 2500);
    SetCallTimeout(saved);
    // The connection is given up; the object says so instead of hanging.
    EXPECT_EQ(CallMember(client.get(), QStringLiteral("After"), {}), RPC_E_DISCONNECTED);
    // A slow call within the limit is not cut short.
    ComPtr<IDispatch> again;
    ASSERT_EQ(Attach(again), S_OK);
    EXPECT_EQ(CallMember(again.get(), QStringLiteral("Sleep"), {Variant::FromI4(600)}), S_OK);
}

// A client that speaks the protocol by hand.
class RawClient
{
public:
    RawClient() : fd_(RunningObjectTable::Connect(SocketPath(), std::chrono::milliseconds(1000))) {}
    ~RawClient()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool connected() const { return fd_ >= 0; }

    void send(const QByteArray& bytes)
    {
        ASSERT_EQ(::send(fd_, bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL),
                  bytes.size());
    }
    // The next reply's payload; empty when the server closed the connection or said nothing.
    QByteArray receive()
    {
        char prefix[4];
        if (!read(prefix, 4))
            return {};
        QByteArray payload(qFromLittleEndian<std::uint32_t>(prefix), Qt::Uninitialized);
        if (!read(payload.data(), std::size_t(payload.size())))
            return {};
        return payload;
    }
    Wire::ObjectId greet()
    {
        Wire::Writer hello(Wire::Type::Hello, 1);
        hello.bytes(Wire::Magic, 4);
        hello.u16(Wire::Version);
        send(hello.frame());
        const QByteArray reply = receive();
        Wire::Reader reader(reply.constData(), std::size_t(reply.size()));
        reader.u8();
        reader.u32();
        reader.u16();
        return reader.u64();
    }
    bool closedByServer()
    {
        pollfd entry{fd_, POLLIN, 0};
        if (::poll(&entry, 1, 3000) <= 0)
            return false;
        char byte;
        return ::recv(fd_, &byte, 1, MSG_DONTWAIT) == 0;
    }

private:
    bool read(char* out, std::size_t size)
    {
        std::size_t got = 0;
        while (got < size) {
            pollfd entry{fd_, POLLIN, 0};
            if (::poll(&entry, 1, 3000) <= 0)
                return false;
            const ssize_t n = ::recv(fd_, out + got, size - got, 0);
            if (n <= 0)
                return false;
            got += std::size_t(n);
        }
        return true;
    }

    int fd_;
};

HRESULT ErrorOf(const QByteArray& reply)
{
    Wire::Reader reader(reply.constData(), std::size_t(reply.size()));
    if (Wire::Type(reader.u8()) != Wire::Type::ErrorReply)
        return S_OK;
    reader.u32();
    return reader.i32();
}

struct BadFrame
{
    const char* name;
    std::function<QByteArray(Wire::ObjectId root)> build;
    HRESULT expected;
};

void PrintTo(const BadFrame& frame, std::ostream* out)
{
    *out << frame.name;
}

class MalformedFrame : public Remote, public ::testing::WithParamInterface<BadFrame>
{
};

TEST_P(MalformedFrame, GetsAnErrorAndEveryoneIsServedOn)
{
    RawClient raw;
    ASSERT_TRUE(raw.connected());
    const Wire::ObjectId root = raw.greet();
    ASSERT_NE(root, 0u);
    raw.send(GetParam().build(root));
    EXPECT_EQ(ErrorOf(raw.receive()), GetParam().expected);

    // The same connection still answers a good request...
    Wire::Writer good(Wire::Type::GetIDsOfNames, 9);
    good.u64(root);
    good.u32(LOCALE_SYSTEM_DEFAULT);
    good.u32(1);
    good.string(QStringLiteral("Name"));
    raw.send(good.frame());
    const QByteArray reply = raw.receive();
    ASSERT_FALSE(reply.isEmpty());
    EXPECT_EQ(Wire::Type(reply.at(0)), Wire::Type::NamesReply);
    // ...and so does every other client.
    EXPECT_EQ(CallMember(client.get(), QStringLiteral("Other"), {}), S_OK);
}

QByteArray InvokeFrame(Wire::ObjectId object, std::function<void(Wire::Writer&)> arguments)
{
    Wire::Writer frame(Wire::Type::Invoke, 5);
    frame.u64(object);
    frame.i32(1);
    frame.u32(LOCALE_SYSTEM_DEFAULT);
    frame.u16(DISPATCH_METHOD);
    arguments(frame);
    return frame.frame();
}

INSTANTIATE_TEST_SUITE_P(
    Automation, MalformedFrame,
    ::testing::Values(BadFrame{"UnknownType",
                               [](Wire::ObjectId) {
                                   return Wire::Writer(Wire::Type(0x42), 5).frame();
                               },
                               RPC_E_INVALID_DATA},
                      BadFrame{"UnknownObject",
                               [](Wire::ObjectId) {
                                   return InvokeFrame(4242, [](Wire::Writer& w) {
                                       w.u32(0);
                                       w.u32(0);
                                   });
                               },
                               RPC_E_DISCONNECTED},
                      BadFrame{"TooManyArguments",
                               [](Wire::ObjectId root) {
                                   return InvokeFrame(root, [](Wire::Writer& w) { w.u32(100000); });
                               },
                               DISP_E_BADPARAMCOUNT},
                      BadFrame{"UnknownVariantType",
                               [](Wire::ObjectId root) {
                                   return InvokeFrame(root, [](Wire::Writer& w) {
                                       w.u32(1);
                                       w.u16(0x7777);
                                       w.u32(0);
                                   });
                               },
                               DISP_E_BADVARTYPE},
                      BadFrame{"ArgumentNamesAnUnknownObject",
                               [](Wire::ObjectId root) {
                                   return InvokeFrame(root, [](Wire::Writer& w) {
                                       w.u32(1);
                                       w.u16(VT_DISPATCH);
                                       w.u64(777);
                                       w.u64(0);
                                       w.u32(0);
                                   });
                               },
                               RPC_E_DISCONNECTED},
                      BadFrame{"Truncated",
                               [](Wire::ObjectId root) {
                                   return InvokeFrame(root, [](Wire::Writer& w) {
                                       w.u32(1);
                                       w.u16(VT_I4);
                                   });
                               },
                               RPC_E_INVALID_DATA},
                      BadFrame{"TrailingBytes",
                               [](Wire::ObjectId root) {
                                   return InvokeFrame(root, [](Wire::Writer& w) {
                                       w.u32(0);
                                       w.u32(0);
                                       w.u32(0xdead);
                                   });
                               },
                               RPC_E_INVALID_DATA},
                      BadFrame{"StringLongerThanFrame",
                               [](Wire::ObjectId root) {
                                   Wire::Writer w(Wire::Type::GetIDsOfNames, 5);
                                   w.u64(root);
                                   w.u32(0);
                                   w.u32(1);
                                   w.u32(0x10000000);
                                   return w.frame();
                               },
                               RPC_E_INVALID_DATA},
                      BadFrame{"NoNames",
                               [](Wire::ObjectId root) {
                                   Wire::Writer w(Wire::Type::GetIDsOfNames, 5);
                                   w.u64(root);
                                   w.u32(0);
                                   w.u32(0);
                                   return w.frame();
                               },
                               RPC_E_INVALID_DATA},
                      BadFrame{"SecondHello",
                               [](Wire::ObjectId) {
                                   Wire::Writer w(Wire::Type::Hello, 5);
                                   w.bytes(Wire::Magic, 4);
                                   w.u16(Wire::Version);
                                   return w.frame();
                               },
                               RPC_E_INVALID_DATA}),
    [](const ::testing::TestParamInfo<BadFrame>& param) { return std::string(param.param.name); });

TEST_F(Remote, AFrameThatCannotBeFollowedClosesOnlyThatConnection)
{
    RawClient oversized;
    ASSERT_TRUE(oversized.connected());
    oversized.greet();
    QByteArray prefix(4, '\0');
    qToLittleEndian<std::uint32_t>(0x7fffffff, prefix.data());
    oversized.send(prefix);
    EXPECT_EQ(ErrorOf(oversized.receive()), RPC_E_INVALID_DATA);
    EXPECT_TRUE(oversized.closedByServer());

    RawClient stranger;
    ASSERT_TRUE(stranger.connected());
    stranger.send(InvokeFrame(1, [](Wire::Writer& w) {
        w.u32(0);
        w.u32(0);
    }));
    EXPECT_EQ(ErrorOf(stranger.receive()), RPC_E_INVALID_DATA);
    EXPECT_TRUE(stranger.closedByServer());

    EXPECT_EQ(CallMember(client.get(), QStringLiteral("Other"), {}), S_OK);
}

// A server in another process that ends while a client waits for it, or between calls.
class ServerProcess : public ::testing::Test
{
protected:
    void SetUp() override
    {
        process.start(TestEnvironment::Program(QStringLiteral("automation_test_server")), {});
        ASSERT_TRUE(process.waitForStarted(10000));
        ASSERT_TRUE(process.waitForReadyRead(10000));
        ASSERT_EQ(process.readLine().trimmed(), QByteArray("registered"));
    }
    void TearDown() override
    {
        process.kill();
        process.waitForFinished(10000);
    }

    QProcess process;
};

TEST_F(ServerProcess, EndingMidCallGivesAnErrorNotAHang)
{
    ComPtr<IDispatch> client;
    ASSERT_EQ(Attach(client), S_OK);
    std::thread killer([this] {
        QThread::msleep(300);
        ::kill(pid_t(process.processId()), SIGKILL);
    });
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(CallMember(client.get(), QStringLiteral("Sleep"), {Variant::FromI4(60000)}),
              RPC_S_CALL_FAILED);
    EXPECT_LT(timer.elapsed(), 10000);
    killer.join();
    EXPECT_EQ(CallMember(client.get(), QStringLiteral("Again"), {}), RPC_E_DISCONNECTED);
}

TEST_F(ServerProcess, EndingBetweenCallsGivesAnErrorAndNoBrokenPipeSignal)
{
    ComPtr<IDispatch> client;
    ASSERT_EQ(Attach(client), S_OK);
    ASSERT_EQ(CallMember(client.get(), QStringLiteral("Ping"), {}), S_OK);
    ::kill(pid_t(process.processId()), SIGKILL);
    ASSERT_TRUE(process.waitForFinished(10000));
    // Writing to the dead server's socket must not raise SIGPIPE in this process.
    EXPECT_EQ(CallMember(client.get(), QStringLiteral("Ping"), {}), RPC_S_CALL_FAILED);

    // Its entry is left behind, stale: clients find nothing, a new server takes it over.
    EXPECT_TRUE(QFile::exists(SocketPath()));
    ComPtr<IDispatch> none;
    EXPECT_EQ(Attach(none), MK_E_UNAVAILABLE);
    HostedServer next;
    EXPECT_TRUE(next.start(ExcelClsid(), MakeDispatch<RecordingDispatch>()));
}

TEST_F(ServerProcess, ASecondServerProcessRunsWithoutTheEntry)
{
    QProcess second;
    second.start(TestEnvironment::Program(QStringLiteral("automation_test_server")), {});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.readAllStandardOutput().trimmed(), QByteArray("refused"));
    ComPtr<IDispatch> client;
    ASSERT_EQ(Attach(client), S_OK);
    EXPECT_EQ(CallMember(client.get(), QStringLiteral("Ping"), {}), S_OK);
}

} // namespace
