#pragma once
// The venue key: a secret the venue's boards and its control room share,
// for a status folder that cannot tell its writers apart (an SMB share that
// maps every writer to one user). A board signs each status copy with it
// (HMAC-SHA256), and a reader that has it believes only copies it signed.
//
// The signature stands last in the copy, as one more member of its object,
// {…,"signature":"hmac-sha256:<64 hexadecimal digits>"}, and signs the
// copy's bytes before it, closed with "}", exactly as the board wrote them:
// no reader has to write the object again to check it, so no two ways of
// writing one object can disagree.

#include <QByteArray>
#include <QString>
#include <optional>

namespace pelm {

struct VenueKey {
    QByteArray secret;
};

/// The key's length in bytes; its file holds twice as many hexadecimal digits.
constexpr int kVenueKeyBytes = 32;

/// A new key's file text: 64 hexadecimal digits from the system's source of
/// randomness, and a line end.
QByteArray newVenueKeyText();

/// The key in the local file at `path`. Nothing, with the reason in
/// `problem`, when it cannot be read, holds no key, or every user of the PC
/// may read it (then it is no secret).
std::optional<VenueKey> readVenueKey(const QString& path, QString* problem = nullptr);

/// `json`, one JSON object as statusJson writes it, with its signature.
QByteArray signedCopy(const QByteArray& json, const VenueKey& key);

enum class Signature {
    Unsigned,  // no signature where the board puts it
    Good,
    Bad,  // signed, but not with this key, or changed since
};

Signature checkSignature(const QByteArray& copy, const VenueKey& key);

}  // namespace pelm
