#include "venue/copy_check.h"

#include <QCryptographicHash>

namespace pelm::venue {
namespace {

CopySignature signatureOf(const QByteArray& bytes, const std::optional<VenueKey>& key) {
    if (!key) return CopySignature::NotChecked;
    switch (checkSignature(bytes, *key)) {
        case Signature::Good:
            return CopySignature::Good;
        case Signature::Bad:
            return CopySignature::Bad;
        default:
            return CopySignature::Unsigned;
    }
}

}  // namespace

CheckedCopy checkCopy(const std::string& bytes, const std::optional<VenueKey>& key,
                      const QByteArray& digestBefore) {
    const QByteArray copy = QByteArray::fromStdString(bytes);
    CheckedCopy checked;
    checked.digest = QCryptographicHash::hash(copy, QCryptographicHash::Sha256);
    checked.unchanged = checked.digest == digestBefore;
    if (checked.unchanged) return checked;
    checked.status = parseStatus(copy, &checked.problem);
    if (checked.status) checked.signature = signatureOf(copy, key);
    return checked;
}

}  // namespace pelm::venue
