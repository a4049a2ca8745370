#include "cli/console_messages.h"

#include <ostream>

namespace flintcast::cli {

config::MessageAnswer ConsoleMessageSink::show(const config::Message& message) {
    if (!message.caption.empty()) out_ << message.caption << ": ";
    out_ << message.text << "\n";
    out_.flush();
    return config::MessageAnswer::Ok;
}

}  // namespace flintcast::cli
