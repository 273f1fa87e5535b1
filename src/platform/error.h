#pragma once
// The one kind of failure the board raises: a message in CP932, shown to the
// operator as it stands. what() gives the same bytes for code that only
// knows std::exception.

#include <memory>
#include <stdexcept>

#include "platform/cp932.h"

namespace pelm {

class Error : public std::runtime_error {
public:
    explicit Error(Cp932 message)
        : std::runtime_error(message.bytes()),
          message_(std::make_shared<const Cp932>(std::move(message))) {}

    const Cp932& message() const { return *message_; }

private:
    // Shared so that copying an exception never throws.
    std::shared_ptr<const Cp932> message_;
};

}  // namespace pelm
