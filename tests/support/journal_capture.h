#pragma once
// Listens to the journal for one test: every line the message handler
// writes, without its newline, in order.

#include <string>
#include <vector>

#include "platform/journal.h"

namespace pelm::testing {

class JournalCapture {
public:
    JournalCapture() {
        installJournal();
        previous_ = setJournalSink([this](std::string_view line) {
            lines_.emplace_back(line.substr(0, line.size() - 1));
        });
    }
    ~JournalCapture() { setJournalSink(std::move(previous_)); }
    JournalCapture(const JournalCapture&) = delete;
    JournalCapture& operator=(const JournalCapture&) = delete;

    /// The lines so far; the capture starts afresh.
    std::vector<std::string> take() { return std::exchange(lines_, {}); }

private:
    JournalSink previous_;
    std::vector<std::string> lines_;
};

}  // namespace pelm::testing
