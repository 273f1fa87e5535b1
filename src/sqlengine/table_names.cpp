#include "sqlengine/table_names.h"

#include <algorithm>

#include "platform/ascii_case.h"

namespace pelm {
namespace {

// SQLite takes every byte from 0x80 up as part of an identifier.
bool startsIdentifier(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool continuesIdentifier(char c) {
    return startsIdentifier(c) || (c >= '0' && c <= '9') || c == '$';
}

// Walks the statement token by token, copying each one to the output.
class Rewriter {
public:
    Rewriter(std::string_view text, const TableNames& tables) : text_(text), tables_(tables) {
        out_.reserve(text.size());
    }

    std::string run() {
        while (at_ < text_.size()) step();
        return std::move(out_);
    }

private:
    void step() {
        const char c = text_[at_];
        if (c == '\'' || c == '"' || c == '`') return copyQuoted(c);
        if (c == '[') return copyQuoted(']');
        if (lookingAt("--")) return copyThrough("\n");
        if (lookingAt("/*")) return copyThrough("*/");
        if (startsIdentifier(c)) return copyIdentifier();
        // Numbers and parameters ("1e5", ":name") are words of their own.
        if ((c >= '0' && c <= '9') || c == ':' || c == '@' || c == '$' || c == '#')
            return copyWord();
        out_ += c;
        ++at_;
    }

    bool lookingAt(std::string_view token) const { return text_.substr(at_).starts_with(token); }

    // A doubled closing quote stays inside: it reads as two quoted texts
    // back to back, which copies the same bytes.
    void copyQuoted(char close) {
        size_t end = text_.find(close, at_ + 1);
        copyUpTo(end == std::string_view::npos ? text_.size() : end + 1);
    }

    void copyThrough(std::string_view terminator) {
        size_t end = text_.find(terminator, at_ + 2);
        copyUpTo(end == std::string_view::npos ? text_.size() : end + terminator.size());
    }

    void copyWord() {
        size_t end = at_ + 1;
        while (end < text_.size() && (continuesIdentifier(text_[end]) || text_[end] == '.')) ++end;
        copyUpTo(end);
    }

    void copyIdentifier() {
        size_t end = at_ + 1;
        while (end < text_.size() && continuesIdentifier(text_[end])) ++end;
        std::string_view name = text_.substr(at_, end - at_);
        copyUpTo(end);
        if (hasFileSuffix(end) && tables_.contains(name)) at_ += 3;
    }

    bool hasFileSuffix(size_t at) const {
        if (text_.size() - at < 3 || text_[at] != '.') return false;
        if (asciiLower(text_[at + 1]) != 'd' || asciiLower(text_[at + 2]) != 'b') return false;
        return at + 3 == text_.size() || !continuesIdentifier(text_[at + 3]);
    }

    void copyUpTo(size_t end) {
        out_.append(text_.substr(at_, end - at_));
        at_ = end;
    }

    std::string_view text_;
    const TableNames& tables_;
    std::string out_;
    size_t at_ = 0;
};

}  // namespace

bool CaseInsensitiveLess::operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return asciiLower(x) < asciiLower(y);
    });
}

std::string withPlainTableNames(std::string_view statement, const TableNames& tables) {
    return Rewriter(statement, tables).run();
}

}  // namespace pelm
