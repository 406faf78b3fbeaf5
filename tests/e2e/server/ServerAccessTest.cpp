// Who may reach SheetHost's automation server: only the user it runs as. Its socket folder is
// closed to others, a connection from another user is dropped before any greeting, and a socket
// folder that is not the user's private one is tightened or refused.
#include "platform/automation/ActiveObjectHost.h"
#include "platform/automation/DispatchObject.h"
#include "platform/automation/RunningObjectTable.h"
#include "tests/e2e/server/ServerProbe.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace ServerProbe;
using namespace Automation;

constexpr uid_t Nobody = 65534;
constexpr gid_t NoGroup = 65534;

// Sets modes for the life of the guard and puts the old ones back.
class ModeGuard
{
public:
    ~ModeGuard()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            ::chmod(it->first.constData(), it->second);
    }
    bool set(const QString& path, mode_t mode)
    {
        const QByteArray native = QFile::encodeName(path);
        struct stat info
        {
        };
        if (::lstat(native.constData(), &info) != 0)
            return false;
        saved_.emplace_back(native, info.st_mode & 07777);
        return ::chmod(native.constData(), mode) == 0;
    }

private:
    std::vector<std::pair<QByteArray, mode_t>> saved_;
};

// Lets other users through every folder above folder (search only), for the guard's life.
bool OpenAncestors(ModeGuard& guard, const QString& folder)
{
    const QString root = TestEnvironment::Root();
    for (QString path = QFileInfo(folder).path(); path.startsWith(root);
         path = QFileInfo(path).path()) {
        if (!guard.set(path, 0711))
            return false;
    }
    return true;
}

// What a child running as another user saw. Filled with async-signal-safe calls only.
struct Seen
{
    int stage = 0; // 1 dropped, 2 connected, 3 sent, 4 done
    int error = 0;
    int bytesRead = -1;
    int ended = 0; // the server closed the connection
};

// Runs probe in a child process dropped to uid/gid 65534 and returns what it reported. The
// child of this threaded process uses only async-signal-safe calls.
Seen AsNobody(const std::function<void(Seen&)>& probe)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        Seen seen;
        if (::setgroups(0, nullptr) == 0 && ::setgid(NoGroup) == 0 && ::setuid(Nobody) == 0) {
            seen.stage = 1;
            probe(seen);
        } else {
            seen.error = errno;
        }
        [[maybe_unused]] const ssize_t n = ::write(channel[1], &seen, sizeof seen);
        ::_exit(0);
    }
    ::close(channel[1]);
    Seen seen;
    if (child < 0 || ::read(channel[0], &seen, sizeof seen) != ssize_t(sizeof seen))
        seen = Seen{};
    ::close(channel[0]);
    int status = 0;
    if (child > 0)
        ::waitpid(child, &status, 0);
    return seen;
}

// Prepared in the parent: the child may not allocate.
struct Target
{
    sockaddr_un address{};
    QByteArray hello;
};

Target TargetFor(const QString& socketPath)
{
    Target target;
    target.address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(socketPath);
    std::memcpy(target.address.sun_path, native.constData(),
                std::min(std::size_t(native.size()), sizeof target.address.sun_path - 1));
    target.hello = HelloFrame(1);
    return target;
}

// Connects, greets and reads what comes back until the end or a three-second wait.
void ConnectAndGreet(const Target& target, Seen& seen)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&target.address), sizeof target.address) !=
        0) {
        seen.error = errno;
        return;
    }
    seen.stage = 2;
    if (::send(fd, target.hello.constData(), std::size_t(target.hello.size()), MSG_NOSIGNAL) ==
        ssize_t(target.hello.size()))
        seen.stage = 3;
    seen.bytesRead = 0;
    char buffer[256];
    for (;;) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 3000) <= 0)
            break;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            seen.ended = 1; // an orderly end or a reset
            if (n < 0)
                seen.error = errno;
            break;
        }
        seen.bytesRead += int(n);
    }
    seen.stage = 4;
    ::close(fd);
}

bool SocketPathFits(const QString& path)
{
    return std::size_t(QFile::encodeName(path).size()) < sizeof(sockaddr_un::sun_path);
}

class ServerAccess : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(host.Start(&error)) << error.toStdString();
        socketPath = SocketPath();
        folder = QFileInfo(socketPath).path();
    }

    // Every test ends with a server that shuts down cleanly, whatever its clients did.
    void TearDown() override { EXPECT_EQ(host.Stop(), QString()); }

    ServedSheetHost host;
    QString socketPath;
    QString folder;
};

TEST_F(ServerAccess, TheSocketFolderIsTheUsersAlone)
{
    struct stat info
    {
    };
    ASSERT_EQ(::lstat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_uid, ::geteuid());
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::lstat(QFile::encodeName(socketPath).constData(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));

    if (::geteuid() != 0)
        GTEST_SKIP() << "another user's view needs root to switch users";
    if (!SocketPathFits(socketPath))
        GTEST_SKIP() << "the socket path is too long to reach directly";
    // Everything above the folder, and the socket itself, opened to everyone: the folder's own
    // mode is all that keeps another user out.
    ModeGuard modes;
    ASSERT_TRUE(OpenAncestors(modes, folder));
    ASSERT_TRUE(modes.set(socketPath, 0777));
    const Target target = TargetFor(socketPath);
    const QByteArray folderNative = QFile::encodeName(folder);
    const Seen reached = AsNobody([&](Seen& seen) { ConnectAndGreet(target, seen); });
    const Seen list = AsNobody([&](Seen& seen) {
        const int fd = ::open(folderNative.constData(), O_RDONLY | O_DIRECTORY);
        seen.error = fd < 0 ? errno : 0;
        if (fd >= 0)
            ::close(fd);
    });
    EXPECT_EQ(reached.stage, 1) << "another user connected";
    EXPECT_EQ(reached.error, EACCES);
    EXPECT_EQ(list.stage, 1);
    EXPECT_EQ(list.error, EACCES) << "another user can list the folder";
}

TEST_F(ServerAccess, AnotherUsersConnectionIsDroppedWithoutAGreeting)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "connecting as another user needs root to switch users";
    if (!SocketPathFits(socketPath))
        GTEST_SKIP() << "the socket path is too long to reach directly";
    RawSession owner;
    ASSERT_TRUE(owner.connected());
    const ObjectId root = owner.hello();
    ASSERT_NE(root, 0u);
    const int baseline = SettledDescriptors(host.Pid());

    Seen seen;
    {
        // Only for this test: the path is opened so that the server alone decides.
        ModeGuard modes;
        ASSERT_TRUE(OpenAncestors(modes, folder));
        ASSERT_TRUE(modes.set(folder, 0711));
        ASSERT_TRUE(modes.set(socketPath, 0777));
        const Target target = TargetFor(socketPath);
        seen = AsNobody([&](Seen& s) { ConnectAndGreet(target, s); });
    }
    ASSERT_GE(seen.stage, 2) << "could not even connect: " << std::strerror(seen.error);
    EXPECT_EQ(seen.bytesRead, 0) << "the server answered another user";
    EXPECT_EQ(seen.ended, 1) << "the server kept another user's connection open";

    // The folder is private again and the owner is served as before.
    struct stat info
    {
    };
    ASSERT_EQ(::lstat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(owner.call(root, QStringLiteral("Name"), DISPATCH_PROPERTYGET).value.bstrVal(),
              QStringLiteral("SheetHost"));
    EXPECT_EQ(WaitForDescriptorsAtMost(host.Pid(), baseline), baseline);
}

// ---------------------------------------------------------------------------------------------
// A socket folder found in a state it should not be in.

enum class Expect
{
    Tightened, // the user's own folder, made private again
    Refused,   // not used, left as it is, and nothing is served from it
};

struct FolderCase
{
    const char* name;
    bool needsRoot;
    bool inTemp; // the folder used without a runtime folder
    std::function<bool(const QString& path)> make;
    Expect expect;
};

void PrintTo(const FolderCase& c, std::ostream* out)
{
    *out << c.name;
}

bool MakeFolder(const QString& path, mode_t mode, uid_t owner)
{
    const QByteArray native = QFile::encodeName(path);
    return ::mkdir(native.constData(), 0700) == 0 &&
           ::chown(native.constData(), owner, owner == ::geteuid() ? gid_t(-1) : NoGroup) == 0 &&
           ::chmod(native.constData(), mode) == 0;
}

class UnsafeFolder : public ::testing::TestWithParam<FolderCase>
{
protected:
    void SetUp() override
    {
        if (GetParam().needsRoot && ::geteuid() != 0)
            GTEST_SKIP() << "making another user's folder needs root";
        savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        runtime =
            E2e::NewFolder(QStringLiteral("runtime-%1").arg(QString::fromLatin1(GetParam().name)));
        ::chmod(QFile::encodeName(runtime).constData(), 0700);
        if (GetParam().inTemp) {
            qunsetenv("XDG_RUNTIME_DIR");
            path = QDir::tempPath() + QStringLiteral("/tabrill-rot-%1").arg(::geteuid());
            QDir(path).removeRecursively();
            QFile::remove(path);
        } else {
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
            path = runtime + QStringLiteral("/tabrill-rot");
        }
    }
    void TearDown() override
    {
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
        if (GetParam().inTemp) {
            QDir(path).removeRecursively();
            QFile::remove(path);
        }
    }

    QByteArray savedRuntime;
    QString runtime;
    QString path;
};

TEST_P(UnsafeFolder, IsTightenedOrRefused)
{
    ASSERT_TRUE(GetParam().make(path));
    struct stat before
    {
    };
    ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &before), 0);

    QString error;
    const QString folder = RunningObjectTable::Folder(&error);
    struct stat after
    {
    };
    ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &after), 0);
    CLSID clsid;
    CLSIDFromProgID(QStringLiteral("Excel.Application"), &clsid);
    ActiveObjectHost host;
    class Nothing final : public DispatchObject
    {
        HRESULT GetIDsOfNames(const IID&, const QString*, UINT, LCID, DISPID*) override
        {
            return DISP_E_UNKNOWNNAME;
        }
        HRESULT Invoke(DISPID, const IID&, LCID, WORD, DISPPARAMS*, Variant*, EXCEPINFO*,
                       UINT*) override
        {
            return DISP_E_MEMBERNOTFOUND;
        }
    };
    const bool served = host.registerObject(clsid, MakeDispatch<Nothing>());

    if (GetParam().expect == Expect::Tightened) {
        EXPECT_EQ(folder, path) << error.toStdString();
        EXPECT_TRUE(S_ISDIR(after.st_mode));
        EXPECT_EQ(after.st_mode & 07777, 0700u);
        EXPECT_TRUE(served) << host.errorString().toStdString();
    } else {
        EXPECT_TRUE(folder.isEmpty()) << folder.toStdString();
        EXPECT_FALSE(error.isEmpty());
        // Someone else's folder or file is not touched.
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_FALSE(served);
        EXPECT_TRUE(QDir(path).isEmpty(QDir::AllEntries | QDir::System | QDir::Hidden |
                                       QDir::NoDotAndDotDot))
            << "something was made inside a refused folder";
    }
    host.revoke();
}

INSTANTIATE_TEST_SUITE_P(
    Server, UnsafeFolder,
    ::testing::Values(
        FolderCase{"OwnGroupReadable", false, false,
                   [](const QString& p) { return MakeFolder(p, 0750, ::geteuid()); },
                   Expect::Tightened},
        FolderCase{"OwnWorldWritable", false, false,
                   [](const QString& p) { return MakeFolder(p, 0777, ::geteuid()); },
                   Expect::Tightened},
        FolderCase{"OwnWithSpecialBits", false, false,
                   [](const QString& p) { return MakeFolder(p, 03777, ::geteuid()); },
                   Expect::Tightened},
        FolderCase{"OwnLooseInTemp", false, true,
                   [](const QString& p) { return MakeFolder(p, 0755, ::geteuid()); },
                   Expect::Tightened},
        FolderCase{"AnotherUsersPrivate", true, false,
                   [](const QString& p) { return MakeFolder(p, 0700, Nobody); }, Expect::Refused},
        FolderCase{"AnotherUsersOpen", true, false,
                   [](const QString& p) { return MakeFolder(p, 0777, Nobody); }, Expect::Refused},
        FolderCase{"AnotherUsersPlantedInTemp", true, true,
                   [](const QString& p) { return MakeFolder(p, 0777, Nobody); }, Expect::Refused},
        FolderCase{"AFileInItsPlace", false, false,
                   [](const QString& p) {
                       QFile file(p);
                       return file.open(QIODevice::WriteOnly) &&
                              file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
                   },
                   Expect::Refused}),
    [](const ::testing::TestParamInfo<FolderCase>& param) {
        return std::string(param.param.name);
    });

// ---------------------------------------------------------------------------------------------
// What another user may have left in the user's own folder while it was open to everyone.

class OnceOpenFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "planting entries as another user needs root";
        savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        runtime = E2e::NewFolder(QStringLiteral("runtime-once-open"));
        ::chmod(QFile::encodeName(runtime).constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        folder = runtime + QStringLiteral("/tabrill-rot");
        ASSERT_TRUE(MakeFolder(folder, 0777, ::geteuid()));
        CLSIDFromProgID(QStringLiteral("Excel.Application"), &clsid);
        socketPath = folder + u'/' + StringFromGUID(clsid);
    }
    void TearDown() override
    {
        if (listener > 0) {
            ::kill(listener, SIGKILL);
            ::waitpid(listener, nullptr, 0);
        }
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
    }

    QByteArray savedRuntime;
    QString runtime;
    QString folder;
    QString socketPath;
    CLSID clsid;
    pid_t listener = -1;
};

class Silent final : public DispatchObject
{
    HRESULT GetIDsOfNames(const IID&, const QString*, UINT, LCID, DISPID*) override
    {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID, const IID&, LCID, WORD, DISPPARAMS*, Variant*, EXCEPINFO*,
                   UINT*) override
    {
        return DISP_E_MEMBERNOTFOUND;
    }
};

TEST_F(OnceOpenFolder, ALinkPlantedBesideTheEntryIsNotFollowed)
{
    // A link where the server keeps its lock file, pointing at a file the user would not make.
    const QString victim = E2e::NewFolder(QStringLiteral("victim")) + QStringLiteral("/made");
    ASSERT_TRUE(QFile::link(victim, socketPath + QStringLiteral(".lock")));
    ::lchown(QFile::encodeName(socketPath + QStringLiteral(".lock")).constData(), Nobody, NoGroup);

    ActiveObjectHost host;
    host.registerObject(clsid, MakeDispatch<Silent>());
    host.revoke();
    EXPECT_FALSE(QFileInfo::exists(victim))
        << "the server created a file through another user's link";
}

TEST_F(OnceOpenFolder, AServerOfAnotherUserListeningThereIsNeverTalkedTo)
{
    // Another user's program listens on the entry, as it could while the folder was open.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(socketPath);
    ASSERT_LT(std::size_t(native.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, native.constData(), std::size_t(native.size()));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    // The way in is opened to the other user only until it listens.
    auto modes = std::make_unique<ModeGuard>();
    ASSERT_TRUE(OpenAncestors(*modes, folder));
    listener = ::fork();
    if (listener == 0) {
        ::close(ready[0]);
        char ok = 0;
        if (::setgroups(0, nullptr) == 0 && ::setgid(NoGroup) == 0 && ::setuid(Nobody) == 0) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                ::listen(fd, 8) == 0)
                ok = 1;
        }
        [[maybe_unused]] const ssize_t n = ::write(ready[1], &ok, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ::close(ready[0]);
    modes.reset();
    ASSERT_EQ(ok, 1) << "the other user could not listen";

    // The folder is the user's own: it is made private again and used...
    EXPECT_EQ(RunningObjectTable::Folder(), folder);
    // ...but a client does not talk to another user's server,
    IUnknown* unknown = nullptr;
    EXPECT_EQ(GetActiveObject(clsid, nullptr, &unknown), MK_E_UNAVAILABLE);
    EXPECT_EQ(unknown, nullptr);
    int error = 0;
    EXPECT_LT(RunningObjectTable::Connect(socketPath, 500ms, &error), 0);
    EXPECT_EQ(error, EPERM);
    // ...and our own server does not take it for one of ours that ended.
    ActiveObjectHost host;
    EXPECT_FALSE(host.registerObject(clsid, MakeDispatch<Silent>()));
    struct stat info
    {
    };
    ASSERT_EQ(::lstat(native.constData(), &info), 0);
    EXPECT_EQ(info.st_uid, Nobody) << "another user's entry was replaced";
}

} // namespace
