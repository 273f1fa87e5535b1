#pragma once
// What a failing step says: the message of the pelm::Error it raised.

#include <string>
#include <utility>

#include "platform/error.h"

namespace pelm::testing {

/// Runs `work`; the message of the Error it raises, or "" when it raises none.
template <class F>
std::string errorMessage(F&& work) {
    try {
        std::forward<F>(work)();
    } catch (const Error& error) {
        return error.what();
    }
    return {};
}

}  // namespace pelm::testing
