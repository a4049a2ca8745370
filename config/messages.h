#pragma once
// Messages for the user: the GUI shows each as a modal message box and waits for
// the answer, the command line prints it. Configuration code only ever talks to
// this interface, so it runs the same under both and under tests.
#include <string>
#include <vector>

namespace flintcast::config {

enum class MessageButtons { Ok, OkCancel };
enum class MessageIcon { None, Warning };
enum class MessageAnswer { Ok, Cancel };

struct Message {
    std::string caption;
    std::string text;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;

    bool operator==(const Message&) const = default;
};

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Shows the message and returns the button the user chose.
    virtual MessageAnswer show(const Message& message) = 0;
};

// Keeps every message and answers each with a fixed button; used by the command
// line (which prints them afterwards) and by tests.
class RecordingMessageSink : public MessageSink {
public:
    explicit RecordingMessageSink(MessageAnswer answer = MessageAnswer::Ok) : answer_(answer) {}
    MessageAnswer show(const Message& message) override {
        messages_.push_back(message);
        return answer_;
    }
    const std::vector<Message>& messages() const { return messages_; }
    void clear() { messages_.clear(); }

private:
    MessageAnswer answer_;
    std::vector<Message> messages_;
};

}  // namespace flintcast::config
