#include "platform/Exception.h"
#include "platform/dialogs/ExceptionDisplay.h"
#include "tests/support/MessageRecorder.h"

#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Raises from its event handler, as a window's handler does when a command fails.
class Raiser : public QObject
{
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw Exception(QStringLiteral("イベントで失敗しました。"));
        return QObject::event(e);
    }
};

TEST(Application, ExceptionFromASentEventIsShownAndDeliveryGoesOn)
{
    MessageRecorder recorder;
    Raiser raiser;
    QEvent event(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&raiser, &event));
    ASSERT_EQ(recorder.requests.size(), 1u);
    EXPECT_EQ(recorder.requests[0].text, QStringLiteral("イベントで失敗しました。"));
    EXPECT_EQ(recorder.requests[0].kind, Platform::MessageKind::Error);
}

TEST(Application, ExceptionFromATimerSlotInTheEventLoopIsShown)
{
    MessageRecorder recorder;
    QObject context;
    QTimer::singleShot(0, &context, [] { throw Exception(QStringLiteral("タイマー")); });
    QTimer::singleShot(50, &context, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(QCoreApplication::exec(), 7);
    ASSERT_EQ(recorder.requests.size(), 1u);
    EXPECT_EQ(recorder.requests[0].text, QStringLiteral("タイマー"));
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    Platform::Application app(argc, argv);
    return RUN_ALL_TESTS();
}
