#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <utility>

// Answers the next modal dialog of type T: once it is up, action runs on it (and must close it).
// If none appears within the time limit the test fails; any modal window still up then is
// rejected, so a test never hangs on a box.
template <typename T> class ModalAnswer
{
public:
    explicit ModalAnswer(std::function<void(T*)> action, int timeoutMs = 5000)
        : state_(std::make_shared<State>())
    {
        state_->action = std::move(action);
        state_->clock.start();
        // The timer lives inside the state, so a plain pointer cannot outlive it.
        State* state = state_.get();
        state->timer.setInterval(10);
        QObject::connect(&state->timer, &QTimer::timeout, &state->timer, [state, timeoutMs] {
            if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
                state->timer.stop();
                state->seen = true;
                state->action(dialog);
                return;
            }
            if (state->clock.elapsed() > timeoutMs) {
                state->timer.stop();
                if (QWidget* stuck = QApplication::activeModalWidget())
                    stuck->close();
            }
        });
        state->timer.start();
    }
    ~ModalAnswer() { state_->timer.stop(); }
    ModalAnswer(const ModalAnswer&) = delete;
    ModalAnswer& operator=(const ModalAnswer&) = delete;

    bool Seen() const { return state_->seen; }

private:
    struct State
    {
        std::function<void(T*)> action;
        QTimer timer;
        QElapsedTimer clock;
        bool seen = false;
    };
    std::shared_ptr<State> state_;
};
