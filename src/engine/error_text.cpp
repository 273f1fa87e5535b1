#include "engine/error_text.h"

#include "platform/codepage.h"

namespace pelm {
namespace {

// Walks the text from its start, because a trail byte of CP932 can look like
// any ASCII character: only the scan knows where the last character begins.
bool endsInDoubleByteCharacter(std::string_view cp932) {
    bool doubleByte = false;
    for (std::size_t at = 0; at < cp932.size(); at += characterLength(cp932, at))
        doubleByte = characterLength(cp932, at) == 2;
    return doubleByte;
}

}  // namespace

QString programTitle(const QString& executablePath) {
    QString name = executablePath.mid(executablePath.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0) name.truncate(dot);
    return name.left(1) + name.mid(1).toLower();
}

Cp932 withPeriod(const Cp932& message) {
    const std::string_view text = message.view();
    if (text.empty()) return message;
    const bool endsLow = static_cast<unsigned char>(text.back()) <= '.';
    if (endsInDoubleByteCharacter(text) || !endsLow) return message + cp932Ascii(".");
    return message;
}

}  // namespace pelm
