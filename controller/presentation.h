#pragma once
// What the run controller shows, as one small interface that the terminal and the window each
// implement. The controller calls it on its own (window) thread only, so an implementation
// needs no lock of its own for these calls.
#include <string>

namespace flintcast::controller {

// Line kinds of the log view and the run state they set.
enum class LineKind : int { Info = 0, InProgress = 1, Failed = 2, Succeeded = 3, Plain = 4 };

enum class RunState { Idle, InProgress, Failed, Succeeded };

enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageAnswer { Ok, Cancel, Yes, No };

struct Message {
    std::string caption;
    std::string text;
    MessageButtons buttons = MessageButtons::Ok;
};

class Presentation {
public:
    virtual ~Presentation() = default;

    // One log line; `kind` is the raw kind value (0 to 4, anything above shows as information).
    virtual void ShowLine(int slot, int kind, const std::string& text) = 0;
    virtual void SetProgress(int slot, int position, int maximum) = 0;
    // The status label (" Upgrading...", " Complete", "Ready", ...) and its colour.
    virtual void SetStatus(const std::string& text, RunState state) = 0;
    // The run state alone (status bar colour), from the kind of each line.
    virtual void SetRunState(RunState state) = 0;
    // A modal message; an unattended presentation answers without asking.
    virtual MessageAnswer ShowMessage(const Message& message) = 0;
    // The Re_update offer (the menu item of the window).
    virtual void SetResumeOffer(bool visible) = 0;
    // The worker of `slot` has ended and the slot is free again.
    virtual void RunEnded(int slot) = 0;
};

}  // namespace flintcast::controller
