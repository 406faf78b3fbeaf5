#include "platform/shell/ShellNotify.h"

#include "platform/shell/WindowsVersion.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

TEST(ShellNotify, ReachesTheObserverWithItsArgumentsAndOnlyWhileInstalled)
{
    std::vector<Platform::ShellChange> seen;
    Platform::SetShellChangeObserver(
        [&seen](const Platform::ShellChange& change) { seen.push_back(change); });
    int item = 0;
    Platform::SHChangeNotify(Platform::SHCNE_ASSOCCHANGED, Platform::SHCNF_IDLIST, nullptr, &item);
    Platform::SetShellChangeObserver({});
    Platform::SHChangeNotify(Platform::SHCNE_ASSOCCHANGED, 0, nullptr, nullptr);

    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].eventId, 0x08000000);
    EXPECT_EQ(seen[0].flags, 0u);
    EXPECT_EQ(seen[0].item1, nullptr);
    EXPECT_EQ(seen[0].item2, &item);
}

TEST(WindowsVersion, IsTenByDefaultAndCanBeSet)
{
    EXPECT_EQ(Platform::GetWindowsVersion().major, 10);
    EXPECT_EQ(Platform::GetWindowsVersion().minor, 0);
    Platform::SetWindowsVersion({5, 1});
    EXPECT_EQ(Platform::GetWindowsVersion().major, 5);
    EXPECT_EQ(Platform::GetWindowsVersion().minor, 1);
    Platform::SetWindowsVersion({});
    EXPECT_EQ(Platform::GetWindowsVersion().major, 10);
}

} // namespace
