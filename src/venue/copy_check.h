#pragma once
// What a status copy read from a venue folder holds, made out where it was
// read (the look's own thread), so the reader's event loop never parses
// or hashes a folder's worth of copies: the board status, or why it is
// none; with a venue key, whether the board signed it; and a digest that
// tells whether it changed since the last read.

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

#include "engine/board_status.h"
#include "engine/venue_key.h"

namespace pelm::venue {

/// Whether a copy carries the venue key's signature; NotChecked without a key.
enum class CopySignature { NotChecked, Unsigned, Good, Bad };

struct CheckedCopy {
    QByteArray digest;                  // of the bytes read: changes when they do
    std::optional<BoardStatus> status;  // none: damaged, or unchanged
    QString problem;                    // why it is damaged
    CopySignature signature = CopySignature::NotChecked;
    /// The bytes are those of `digestBefore`: nothing else was made out.
    bool unchanged = false;
};

/// What `bytes` hold; only the digest when it is `digestBefore`, the
/// digest of the same copy's last read.
CheckedCopy checkCopy(const std::string& bytes, const std::optional<VenueKey>& key,
                      const QByteArray& digestBefore = {});

}  // namespace pelm::venue
