#pragma once
// Messages on the terminal: each is printed as a line on the error stream, with its
// caption in front when it has one, and answered with OK (no one is there to press
// Cancel in a script).
#include <iosfwd>

#include "config/messages.h"

namespace flintcast::cli {

class ConsoleMessageSink : public config::MessageSink {
public:
    explicit ConsoleMessageSink(std::ostream& out) : out_(out) {}
    config::MessageAnswer show(const config::Message& message) override;

private:
    std::ostream& out_;
};

}  // namespace flintcast::cli
