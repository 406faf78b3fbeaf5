#include "tabrill/assoc/TExtbinder.h"
#include "tests/support/MessageRecorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// This program has no Extbinder beside it.
class LauncherWithoutToolTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(QFile::exists(QCoreApplication::applicationDirPath() + u"/Extbinder"_s));
        savedTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
    }
    void TearDown() override { qputenv("TMPDIR", savedTemp); }

    QTemporaryDir temp;
    QByteArray savedTemp;
    MessageRecorder messages;
};

TEST_P(LauncherWithoutToolTest, ReturnsAtOnceWithoutAMessageAndLeavesNoTaskFile)
{
    QElapsedTimer timer;
    timer.start();
    if (GetParam())
        ExtLink(nullptr, u".TBR"_s, u"Tabrill ファイル"_s, 0);
    else
        ExtUnlink(nullptr, u".TBR"_s);
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_TRUE(messages.requests.empty());
    EXPECT_TRUE(QDir(temp.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Tasks, LauncherWithoutToolTest, ::testing::Values(true, false),
                         [](const auto& param) { return param.param ? "Link" : "Unlink"; });

} // namespace
