#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <utility>

// Answers one modal dialog: waits for a modal window with the object name, then runs the
// handler on it (which should close it, usually by clicking a button). The test fails when no
// such dialog appears within the time limit; a dialog the handler leaves open is rejected, so a
// test never hangs on it.
class ModalDialogHelper
{
public:
    using Handler = std::function<void(QDialog* dialog)>;

    ModalDialogHelper(QString objectName, Handler handler, int timeoutMs = 5000)
        : state_(std::make_shared<State>())
    {
        state_->objectName = std::move(objectName);
        state_->handler = std::move(handler);
        state_->timeoutMs = timeoutMs;
        state_->clock.start();
        Poll(state_);
    }
    ~ModalDialogHelper() { state_->stopped = true; }
    ModalDialogHelper(const ModalDialogHelper&) = delete;
    ModalDialogHelper& operator=(const ModalDialogHelper&) = delete;

    bool Seen() const { return state_->seen; }
    // The dialog was still open after the handler ran and had to be rejected.
    bool LeftOpen() const { return state_->leftOpen; }

    // Use at the end of a test step: the dialog appeared and was closed by the handler.
    void ExpectHandled() const
    {
        EXPECT_TRUE(Seen()) << "the dialog " << state_->objectName.toStdString()
                            << " never appeared";
        EXPECT_FALSE(LeftOpen()) << "the dialog " << state_->objectName.toStdString()
                                 << " stayed open";
    }

private:
    struct State
    {
        QString objectName;
        Handler handler;
        int timeoutMs = 0;
        QElapsedTimer clock;
        bool seen = false;
        bool leftOpen = false;
        bool stopped = false;
    };

    static void Poll(const std::shared_ptr<State>& state)
    {
        QTimer::singleShot(10, [state] {
            if (state->stopped || state->seen)
                return;
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog && dialog->objectName() == state->objectName && dialog->isVisible()) {
                state->seen = true;
                QPointer<QDialog> guard(dialog);
                state->handler(dialog);
                QTimer::singleShot(state->timeoutMs, [state, guard] {
                    if (guard && guard->isVisible()) {
                        state->leftOpen = true;
                        guard->reject();
                    }
                });
                return;
            }
            if (state->clock.elapsed() < state->timeoutMs)
                Poll(state);
        });
    }

    std::shared_ptr<State> state_;
};
