#include "platform/dialogs/ExceptionDisplay.h"

#include "platform/Exception.h"
#include "tests/support/MessageRecorder.h"

#include <gtest/gtest.h>
#include <ostream>
#include <stdexcept>

namespace {

using Platform::MessageButtons;
using Platform::MessageKind;

struct GuardCase
{
    const char* name;
    std::function<void()> raise;
    QString shown;
    friend void PrintTo(const GuardCase& c, std::ostream* os) { *os << c.name; }
};

class CallGuardedTest : public ::testing::TestWithParam<GuardCase>
{
};

TEST_P(CallGuardedTest, ShowsTheMessageInOneErrorBoxAndGoesOn)
{
    MessageRecorder recorder;
    bool after = false;
    Platform::CallGuarded(GetParam().raise);
    after = true;
    EXPECT_TRUE(after);
    ASSERT_EQ(recorder.requests.size(), 1u);
    EXPECT_EQ(recorder.requests[0].text, GetParam().shown);
    EXPECT_EQ(recorder.requests[0].kind, MessageKind::Error);
    EXPECT_EQ(recorder.requests[0].buttons, MessageButtons::Ok);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CallGuardedTest,
    ::testing::Values(
        GuardCase{"exception",
                  [] { throw Exception(QStringLiteral("Excelに接続できませんでした。")); },
                  QStringLiteral("Excelに接続できませんでした。")},
        GuardCase{"derived_exception",
                  [] {
                      struct FileOpenError : Exception
                      {
                          using Exception::Exception;
                      };
                      throw FileOpenError(QStringLiteral("開けません"));
                  },
                  QStringLiteral("開けません")},
        GuardCase{"standard_exception", [] { throw std::runtime_error("x"); }, QString()},
        GuardCase{"anything_else", [] { throw 42; }, QString()}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(CallGuarded, QuietHandlerShowsNothing)
{
    MessageRecorder recorder;
    int calls = 0;
    Platform::CallGuarded([&] { ++calls; });
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(recorder.requests.empty());
}

TEST(ShowException, AFailingMessageBoxDoesNotEscape)
{
    const Platform::MessageBoxHandler previous = Platform::SetMessageBoxHandler(
        [](const Platform::MessageRequest&) -> Platform::MessageAnswer {
            throw std::runtime_error("box broke");
        });
    EXPECT_NO_THROW(
        Platform::ShowException(std::make_exception_ptr(Exception(QStringLiteral("m")))));
    Platform::SetMessageBoxHandler(previous);
}

} // namespace
