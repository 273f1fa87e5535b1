#include "engine/venue_key.h"

#include <QCryptographicHash>
#include <QFile>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <algorithm>

namespace pelm {
namespace {

constexpr char kSignaturePrefix[] = "\"signature\":\"hmac-sha256:";
constexpr int kHexDigits = 2 * kVenueKeyBytes;
// A key file is one line; anything longer is not one.
constexpr qint64 kMaxKeyFileBytes = 1024;

QByteArray macOf(const QByteArray& bytes, const VenueKey& key) {
    return QMessageAuthenticationCode::hash(bytes, key.secret, QCryptographicHash::Sha256).toHex();
}

// Compares in a time that does not tell how much of a guess was right.
bool sameBytes(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i) difference |= a[i] ^ b[i];
    return difference == 0;
}

bool hexDigits(const QByteArray& text) {
    return text.size() == kHexDigits && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
           });
}

std::optional<VenueKey> refuse(QString* problem, const QString& why) {
    if (problem) *problem = why;
    return std::nullopt;
}

}  // namespace

QByteArray newVenueKeyText() {
    QByteArray secret(kVenueKeyBytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(secret.begin(), secret.end());
    return secret.toHex() + "\n";
}

std::optional<VenueKey> readVenueKey(const QString& path, QString* problem) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return refuse(problem, file.errorString());
    if (file.permissions() & QFileDevice::ReadOther)
        return refuse(problem, QStringLiteral("every user of this PC may read it"));
    const QByteArray text = file.read(kMaxKeyFileBytes).trimmed();
    if (!hexDigits(text))
        return refuse(problem,
                      QStringLiteral("no venue key (%1 hexadecimal digits)").arg(kHexDigits));
    return VenueKey{QByteArray::fromHex(text)};
}

QByteArray signedCopy(const QByteArray& json, const VenueKey& key) {
    const QByteArray object = json.trimmed();
    if (!object.startsWith('{') || !object.endsWith('}')) return json;  // no object: unsigned
    const QByteArray open = object.chopped(1);                          // without its closing "}"
    const QByteArray separator = open.trimmed() == "{" ? "" : ",";
    return open + separator + kSignaturePrefix + macOf(object, key) + "\"}\n";
}

Signature checkSignature(const QByteArray& copy, const VenueKey& key) {
    const QByteArray object = copy.trimmed();
    const qsizetype signatureSize = qsizetype(sizeof kSignaturePrefix - 1) + kHexDigits + 2;
    const qsizetype at = object.size() - signatureSize;
    if (at < 1 || !object.endsWith("\"}") ||
        object.mid(at, sizeof kSignaturePrefix - 1) != kSignaturePrefix)
        return Signature::Unsigned;
    const QByteArray mac = object.mid(at + sizeof kSignaturePrefix - 1, kHexDigits);
    const char before = object[at - 1];
    if (!hexDigits(mac) || (before != ',' && before != '{')) return Signature::Unsigned;
    const QByteArray signedBytes = object.left(before == ',' ? at - 1 : at) + "}";
    return sameBytes(mac.toLower(), macOf(signedBytes, key)) ? Signature::Good : Signature::Bad;
}

}  // namespace pelm
