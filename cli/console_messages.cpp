#include "cli/console_messages.h"

#include <ostream>

namespace flintcast::cli {

config::MessageAnswer ConsoleMessageSink::show(const config::Message& message) {
    // A text that already starts with its caption ("Error: ...") gets it once.
    const bool captioned = message.text.rfind(message.caption + ":", 0) == 0;
    if (!message.caption.empty() && !captioned) out_ << message.caption << ": ";
    out_ << message.text << "\n";
    out_.flush();
    return config::MessageAnswer::Ok;
}

}  // namespace flintcast::cli
