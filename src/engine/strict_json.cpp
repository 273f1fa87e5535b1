#include "engine/strict_json.h"

#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>

namespace pelm {
namespace {

// Whether a raw byte below 0x20 stands anywhere but between tokens, where
// only blank, tab and line ends may.
bool rawControlCharacter(const QByteArray& bytes) {
    bool inString = false, escaped = false;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (byte == '\\') {
                escaped = true;
            } else if (byte == '"') {
                inString = false;
            } else if (byte < 0x20) {
                return true;
            }
        } else if (byte == '"') {
            inString = true;
        } else if (byte < 0x20 && byte != ' ' && byte != '\t' && byte != '\n' && byte != '\r') {
            return true;
        }
    }
    return false;
}

// Whether every text of the value, names of members too, is whole UTF-16:
// an escaped lone surrogate ("\ud800") parses, but is no character.
bool wholeTexts(const QJsonValue& value) {
    if (value.isString()) return value.toString().isValidUtf16();
    if (value.isArray()) {
        const QJsonArray array = value.toArray();
        return std::all_of(array.begin(), array.end(),
                           [](const QJsonValue& v) { return wholeTexts(v); });
    }
    if (!value.isObject()) return true;
    const QJsonObject object = value.toObject();
    for (auto member = object.begin(); member != object.end(); ++member) {
        if (!member.key().isValidUtf16() || !wholeTexts(member.value())) return false;
    }
    return true;
}

std::optional<QJsonDocument> refuse(QString* problem, const QString& why) {
    if (problem) *problem = why;
    return std::nullopt;
}

}  // namespace

std::optional<QJsonDocument> parseStrictJson(const QByteArray& bytes, QString* problem) {
    if (!bytes.isValidUtf8()) return refuse(problem, QStringLiteral("not UTF-8"));
    if (rawControlCharacter(bytes))
        return refuse(problem, QStringLiteral("a raw control character"));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) return refuse(problem, error.errorString());
    const QJsonValue root =
        document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array());
    if (!wholeTexts(root)) return refuse(problem, QStringLiteral("a lone surrogate"));
    return document;
}

}  // namespace pelm
