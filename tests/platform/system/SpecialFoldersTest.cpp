#include "platform/system/SpecialFolders.h"

#include "tests/platform/system/ScopedEnv.h"

#include <QDir>
#include <gtest/gtest.h>
#include <ostream>

namespace {

struct AppDataCase
{
    const char* name;
    const char* home;
    const char* configHome; // nullptr: unset
    const char* expected;
    friend void PrintTo(const AppDataCase& c, std::ostream* os) { *os << c.name; }
};

class AppDataTest : public ::testing::TestWithParam<AppDataCase>
{
};

TEST_P(AppDataTest, FollowsXdgConfigHome)
{
    const ScopedEnv home("HOME", GetParam().home);
    const ScopedEnv config("XDG_CONFIG_HOME", GetParam().configHome);
    EXPECT_EQ(Platform::GetSpecialFolderLocation(Platform::Csidl::AppData),
              QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AppDataTest,
    ::testing::Values(AppDataCase{"set", "/home/u", "/data/conf", "/data/conf"},
                      AppDataCase{"trailing_slash", "/home/u", "/data/conf/", "/data/conf"},
                      AppDataCase{"unset", "/home/u", nullptr, "/home/u/.config"},
                      AppDataCase{"empty", "/home/u", "", "/home/u/.config"},
                      // Relative values are to be ignored, as the XDG rules say.
                      AppDataCase{"relative", "/home/u", "conf", "/home/u/.config"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(SpecialFolders, UserFoldersLieUnderHomeWithoutTrailingSeparator)
{
    const ScopedEnv home("HOME", "/home/u");
    const ScopedEnv data("XDG_DATA_HOME", nullptr);
    const ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    const ScopedEnv cache("XDG_CACHE_HOME", nullptr);
    EXPECT_EQ(Platform::GetSpecialFolderLocation(Platform::Csidl::Programs),
              QStringLiteral("/home/u/.local/share/applications"));
    EXPECT_EQ(Platform::GetSpecialFolderLocation(Platform::Csidl::Startup),
              QStringLiteral("/home/u/.config/autostart"));
    EXPECT_EQ(Platform::GetSpecialFolderLocation(Platform::Csidl::InternetCache),
              QStringLiteral("/home/u/.cache"));
    for (const int csidl : {Platform::Csidl::Desktop, Platform::Csidl::DesktopDirectory,
                            Platform::Csidl::Personal, Platform::Csidl::Templates}) {
        const QString path = Platform::GetSpecialFolderLocation(csidl);
        EXPECT_TRUE(path.startsWith(QStringLiteral("/home/u/"))) << csidl;
        EXPECT_FALSE(path.endsWith(u'/')) << csidl;
    }
}

class VirtualFolderTest : public ::testing::TestWithParam<int>
{
};

TEST_P(VirtualFolderTest, HasNoFolder)
{
    EXPECT_EQ(Platform::GetSpecialFolderLocation(GetParam()), QString());
}

INSTANTIATE_TEST_SUITE_P(Cases, VirtualFolderTest,
                         ::testing::Values(Platform::Csidl::BitBucket, Platform::Csidl::Drives,
                                           Platform::Csidl::Network, Platform::Csidl::Printers,
                                           Platform::Csidl::Controls, Platform::Csidl::Internet,
                                           Platform::Csidl::NetHood, Platform::Csidl::Recent, -1,
                                           12, 28, 35, 1000));

} // namespace
