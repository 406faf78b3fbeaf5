#include "platform/shell/ShellExecute.h"

#include "platform/shell/CommandLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <cerrno>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Platform {
namespace {
int OpenPidFd(long long pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
#else
    Q_UNUSED(pid);
    errno = ENOSYS;
    return -1;
#endif
}

// Without a process descriptor: the program is gone when no process has its id, or when it is a
// zombie that nobody reaps (a detached program's parent is not us).
bool ProcessGone(long long pid)
{
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() &&
           (line.at(close + 2) == 'Z' || line.at(close + 2) == 'X');
}
} // namespace

ProcessHandle::ProcessHandle(long long pid, int pidFd) : pid_(pid), pidFd_(pidFd) {}

ProcessHandle::~ProcessHandle()
{
    if (pidFd_ >= 0)
        ::close(pidFd_);
}

void ProcessHandle::WaitForExit() const
{
    if (pidFd_ < 0) {
        while (!ProcessGone(pid_))
            QThread::msleep(20);
        return;
    }
    pollfd entry{pidFd_, POLLIN, 0};
    while (::poll(&entry, 1, -1) < 0 && errno == EINTR) {
    }
}

bool ProcessHandle::HasExited() const
{
    if (pidFd_ < 0)
        return ProcessGone(pid_);
    pollfd entry{pidFd_, POLLIN, 0};
    return ::poll(&entry, 1, 0) > 0;
}

bool ShellExecuteEx(ShellExecuteInfo& info)
{
    info.process.reset();
    const auto fail = [&info](long code) {
        info.instApp = code;
        return false;
    };
    if (!info.verb.isEmpty() && info.verb.compare(QStringLiteral("open"), Qt::CaseInsensitive) != 0)
        return fail(SE_ERR_NOASSOC);
    if (info.file.isEmpty())
        return fail(SE_ERR_FNF);
    const QFileInfo program(info.file);
    if (!program.exists())
        return fail(program.absoluteDir().exists() ? SE_ERR_FNF : SE_ERR_PNF);
    if (!program.isFile() || !program.isExecutable())
        return fail(SE_ERR_NOASSOC);

    QProcess process;
    process.setProgram(program.absoluteFilePath());
    process.setArguments(CommandLineToArgv(info.parameters));
    if (!info.directory.isEmpty())
        process.setWorkingDirectory(info.directory);
    process.setStandardInputFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!process.startDetached(&pid) || pid <= 0)
        return fail(SE_ERR_ACCESSDENIED);

    info.instApp = SE_STARTED;
    if (info.mask & SEE_MASK_NOCLOSEPROCESS) {
        // A program that ended before this point has no descriptor; ProcessGone then says so.
        info.process = std::make_unique<ProcessHandle>(pid, OpenPidFd(pid));
    }
    return true;
}

} // namespace Platform
