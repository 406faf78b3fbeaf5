#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>

// Names the cases of a table after their `name` member.
struct CaseName
{
    template <class Case> std::string operator()(const ::testing::TestParamInfo<Case>& param) const
    {
        return param.param.name;
    }
};

// A private folder per test with helpers to put bytes in and take them out.
class IniFolder : public ::testing::Test
{
protected:
    QString PathOf(const QString& name) const { return dir_.filePath(name); }

    QString WriteBytes(const QString& name, const QByteArray& bytes) const
    {
        const QString path = PathOf(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write(bytes);
        return path;
    }

    static QByteArray Bytes(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return "<unreadable>";
        return file.readAll();
    }

    // Names in the folder, hidden ones (where a temporary file would hide) included.
    QStringList Entries() const
    {
        return QDir(dir_.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    QTemporaryDir dir_;
};

// Lowers the largest file this process may write, as a full disk would, for its lifetime.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = old_;
        lowered.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
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
