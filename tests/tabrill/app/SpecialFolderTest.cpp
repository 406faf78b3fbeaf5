#include "platform/Exception.h"
#include "tabrill/app/Tspecialfolder.h"

#include <QDir>
#include <gtest/gtest.h>
#include <ostream>

namespace {

TEST(GetSpecialFolderPath, AppDataIsTheXdgConfigFolderWithoutTrailingSeparator)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/srv/user/conf/");
    EXPECT_EQ(GetSpecialFolderPath(sfAppData), QStringLiteral("/srv/user/conf"));
    qputenv("XDG_CONFIG_HOME", saved);
    EXPECT_EQ(GetSpecialFolderPath(sfAppData), QDir::cleanPath(QString::fromLocal8Bit(saved)));
}

class OutOfRangeKindTest : public ::testing::TestWithParam<int>
{
};

TEST_P(OutOfRangeKindTest, RaisesTheCodeNotFoundMessage)
{
    try {
        GetSpecialFolderPath(static_cast<TSpecialFolderKind>(GetParam()));
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("指定されたコードが見つかりません。"));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, OutOfRangeKindTest, ::testing::Values(30, 31, -1, 1000));

struct KindCase
{
    const char* name;
    TSpecialFolderKind kind;
    int csidl;
    bool hasFolder;
    friend void PrintTo(const KindCase& c, std::ostream* os) { *os << c.name; }
};

class KindTest : public ::testing::TestWithParam<KindCase>
{
};

TEST_P(KindTest, MapsToItsWindowsNumberAndFolder)
{
    EXPECT_EQ(SpecialFolderCsidl(GetParam().kind), GetParam().csidl);
    const QString path = GetSpecialFolderPath(GetParam().kind);
    EXPECT_EQ(!path.isEmpty(), GetParam().hasFolder);
    EXPECT_FALSE(path.endsWith(u'/'));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KindTest,
    ::testing::Values(
        KindCase{"sfAltStartup", sfAltStartup, 29, false},
        KindCase{"sfAppData", sfAppData, 26, true}, KindCase{"sfBitBucket", sfBitBucket, 10, false},
        KindCase{"sfControls", sfControls, 3, false}, KindCase{"sfDesktop", sfDesktop, 0, true},
        KindCase{"sfDesktopDirectory", sfDesktopDirectory, 16, true},
        KindCase{"sfDrives", sfDrives, 17, false},
        KindCase{"sfInternetCache", sfInternetCache, 32, true},
        KindCase{"sfNetwork", sfNetwork, 18, false}, KindCase{"sfPersonal", sfPersonal, 5, true},
        KindCase{"sfPrinters", sfPrinters, 4, false}, KindCase{"sfPrograms", sfPrograms, 2, true},
        KindCase{"sfStartup", sfStartup, 7, true}, KindCase{"sfTemplates", sfTemplates, 21, true}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(SpecialFolderCsidl, EveryKindHasADistinctWindowsNumber)
{
    QSet<int> seen;
    for (int kind = sfAltStartup; kind <= sfTemplates; ++kind) {
        const int csidl = SpecialFolderCsidl(static_cast<TSpecialFolderKind>(kind));
        EXPECT_GE(csidl, 0) << kind;
        EXPECT_FALSE(seen.contains(csidl)) << kind;
        seen.insert(csidl);
    }
    EXPECT_EQ(seen.size(), 30);
}

} // namespace
