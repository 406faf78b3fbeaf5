#pragma once

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

// Faults a test can put in the way of a save: a full disk and a file the process may not write.

// Lowers the largest file this process may write, as a full disk would, for its lifetime.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = old_;
        lowered.rlim_cur = bytes;
        active_ = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool Active() const { return active_; }

private:
    rlimit old_{};
    void (*previousHandler_)(int) = nullptr;
    bool active_ = false;
};

// Root writes whatever a file's mode says. For a read-only file to mean anything to a test run as
// root, the test runs as nobody for a while, keeping root as the saved id to come back to. The
// folder is made reachable and writable for nobody, so only the file's own mode can refuse; every
// mode is put back afterwards. Without root the file's mode already binds the user.
class RunAsNobody
{
public:
    enum class Ids
    {
        RealAndEffective,
        EffectiveOnly, // what a set-user-id program looks like: the real id stays root's
    };

    explicit RunAsNobody(const QString& folder, Ids ids = Ids::RealAndEffective)
    {
        if (::geteuid() != 0) {
            active_ = true;
            return;
        }
        QString path = QFileInfo(folder).absoluteFilePath();
        Loosen(path, 0777);
        for (QString parent = QFileInfo(path).path();
             parent != path && parent != QStringLiteral("/");
             path = parent, parent = QFileInfo(path).path())
            Loosen(parent, S_IXOTH);
        const bool real = ids == Ids::RealAndEffective;
        groupDropped_ = ::setresgid(real ? Nobody : gid_t(-1), Nobody, gid_t(-1)) == 0;
        userDropped_ =
            groupDropped_ && ::setresuid(real ? Nobody : uid_t(-1), Nobody, uid_t(-1)) == 0;
        active_ = userDropped_;
    }
    ~RunAsNobody()
    {
        // The user first: only root may take the group back.
        if (userDropped_) {
            [[maybe_unused]] const int user = ::setresuid(0, 0, uid_t(-1));
        }
        if (groupDropped_) {
            [[maybe_unused]] const int group = ::setresgid(0, 0, gid_t(-1));
        }
        for (auto it = modes_.rbegin(); it != modes_.rend(); ++it)
            ::chmod(it->first.constData(), it->second);
    }
    RunAsNobody(const RunAsNobody&) = delete;
    RunAsNobody& operator=(const RunAsNobody&) = delete;

    bool Active() const { return active_; }

private:
    static constexpr unsigned Nobody = 65534;

    void Loosen(const QString& path, mode_t add)
    {
        const QByteArray native = QFile::encodeName(path);
        struct stat info = {};
        if (::stat(native.constData(), &info) != 0 || (info.st_mode & add) == add)
            return;
        modes_.emplace_back(native, info.st_mode & 07777);
        ::chmod(native.constData(), (info.st_mode & 07777) | add);
    }

    std::vector<std::pair<QByteArray, mode_t>> modes_;
    bool groupDropped_ = false;
    bool userDropped_ = false;
    bool active_ = false;
};
