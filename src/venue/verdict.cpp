#include "venue/verdict.h"

namespace pelm::venue {
namespace {

constexpr std::array kWords{"forged",  "error",   "not connected", "starting", "not answering",
                            "stopped", "missing", "checking",      "waiting",  "fine"};
static_assert(kWords.size() == kVerdicts.size());

}  // namespace

QString verdictWord(Verdict verdict) {
    return QString::fromLatin1(kWords[static_cast<std::size_t>(verdict)]);
}

std::optional<Verdict> verdictNamed(const QString& word) {
    for (const Verdict verdict : kVerdicts) {
        if (verdictWord(verdict) == word) return verdict;
    }
    return std::nullopt;
}

}  // namespace pelm::venue
