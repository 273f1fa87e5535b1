#pragma once
// The one kind of failure the board raises: a message in CP932 bytes, shown
// to the operator as it stands.

#include <stdexcept>
#include <string>

namespace pelm {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& cp932Message) : std::runtime_error(cp932Message) {}
};

}  // namespace pelm
