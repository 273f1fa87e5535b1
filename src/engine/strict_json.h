#pragma once
// JSON as RFC 8259 has it, nothing looser. Qt's parser takes raw control
// characters inside strings, bytes that are no UTF-8 and lone surrogates,
// and writes them back escaped, up to six bytes for one: a file from a
// folder others can write would grow on its way to every reader. Such a
// file is no JSON, and is refused here as damaged.

#include <QByteArray>
#include <QJsonDocument>
#include <QString>
#include <optional>

namespace pelm {

/// The document in `bytes`; nothing (with the reason in `problem`) for
/// anything that is not strictly JSON.
std::optional<QJsonDocument> parseStrictJson(const QByteArray& bytes, QString* problem = nullptr);

}  // namespace pelm
