#include "common/Tcursorhourglass.h"

#include <QCursor>
#include <QGuiApplication>
#include <gtest/gtest.h>
#include <optional>
#include <stdexcept>

namespace {

using Platform::ScreenCursor;

// The shape Qt shows over every window, or nothing when no override is in force.
std::optional<Qt::CursorShape> Shown()
{
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor ? std::optional(cursor->shape()) : std::nullopt;
}

class HourGlassTest : public ::testing::Test
{
protected:
    void SetUp() override { Platform::SetScreenCursor(ScreenCursor::Default); }
    void TearDown() override { Platform::SetScreenCursor(ScreenCursor::Default); }
};

TEST_F(HourGlassTest, ShowsTheHourglassForItsLifetime)
{
    {
        const TCursorHourGlass guard;
        EXPECT_EQ(Platform::GetScreenCursor(), ScreenCursor::HourGlass);
        EXPECT_EQ(Shown(), Qt::WaitCursor);
    }
    EXPECT_EQ(Platform::GetScreenCursor(), ScreenCursor::Default);
    EXPECT_EQ(Shown(), std::nullopt);
}

TEST_F(HourGlassTest, NestedGuardsRestoreInReverseOrder)
{
    {
        const TCursorHourGlass outer;
        {
            const TCursorHourGlass inner;
            EXPECT_EQ(Platform::GetScreenCursor(), ScreenCursor::HourGlass);
        }
        // The inner guard found the hourglass and puts it back.
        EXPECT_EQ(Platform::GetScreenCursor(), ScreenCursor::HourGlass);
        EXPECT_EQ(Shown(), Qt::WaitCursor);
    }
    EXPECT_EQ(Platform::GetScreenCursor(), ScreenCursor::Default);
    // Qt's override stack holds nothing left over from the nesting.
    EXPECT_EQ(Shown(), std::nullopt);
}

TEST_F(HourGlassTest, AnExceptionInsideStillRestoresTheCursor)
{
    EXPECT_THROW(
        {
            const TCursorHourGlass outer;
            const TCursorHourGlass inner;
            throw std::runtime_error("search failed");
        },
        std::runtime_error);
    EXPECT_EQ(Platform::GetScreenCursor(), ScreenCursor::Default);
    EXPECT_EQ(Shown(), std::nullopt);
}

TEST_F(HourGlassTest, CursorSetBeforeTheGuardIsKept)
{
    Platform::SetScreenCursor(ScreenCursor::HourGlass);
    {
        const TCursorHourGlass guard;
    }
    EXPECT_EQ(Platform::GetScreenCursor(), ScreenCursor::HourGlass);
    EXPECT_EQ(Shown(), Qt::WaitCursor);
}

} // namespace
