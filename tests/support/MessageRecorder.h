#pragma once

#include "platform/dialogs/MessageBox.h"

#include <deque>
#include <vector>

// Installs itself as the message box for its lifetime: records every request and answers with
// the queued answers (Ok, or Cancel for a question, once the queue is empty).
class MessageRecorder
{
public:
    MessageRecorder()
    {
        previous_ = Platform::SetMessageBoxHandler([this](const Platform::MessageRequest& request) {
            requests.push_back(request);
            if (!answers.empty()) {
                const Platform::MessageAnswer answer = answers.front();
                answers.pop_front();
                return answer;
            }
            return request.buttons == Platform::MessageButtons::Ok ? Platform::MessageAnswer::Ok
                                                                  : Platform::MessageAnswer::Cancel;
        });
    }
    ~MessageRecorder() { Platform::SetMessageBoxHandler(std::move(previous_)); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::vector<Platform::MessageRequest> requests;
    std::deque<Platform::MessageAnswer> answers;

private:
    Platform::MessageBoxHandler previous_;
};
