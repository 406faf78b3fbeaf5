#pragma once

#include "tests/support/FileSystemFaults.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>

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
