#pragma once
// Reading a venue's status folder, usually a share that may stop
// answering, and one others can write. One look lists the status copies,
// chooses those to read when there are more than it reads, reads each
// within its bound with its owner (looked at before and after the read, so
// the owner is that of the bytes read), the list of the venue's boards, and
// beside each copy its picture: its head always, the whole file only when
// it changed since the caller last had it.
// A thread of its own takes each look step by step through the folder's
// worker (share_worker.h), so the caller never waits for the share; a step
// that stalls, not answering in time, ends the look, and the caller learns how far
// it got and which copies did not answer. While the share stays silent,
// each further look ends at once.

#include <sys/types.h>

#include <QByteArray>
#include <QString>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/venue_key.h"
#include "platform/untrusted_folder.h"
#include "venue/copy_check.h"

namespace pelm::venue {

/// Copies read in one look, at most: a large venue's boards with room to
/// spare, each copy at most kMaxStatusBytes. Which ones, when a folder
/// anyone can write holds more, is chosen so that real boards come first.
constexpr int kMaxCopies = 512;
/// Names looked at (owner, age) to choose from in one look, at most; a
/// folder that lists more is looked at a part at a time, a part per look.
constexpr int kMaxLookedAt = 4096;
/// Names of the venue's boards, one per line (UTF-8), kept by the venue
/// beside the copies: a board listed there without a copy is missing.
inline constexpr char kExpectedBoardsName[] = "expected-boards.txt";
constexpr int kMaxExpectedBytes = 256 * 1024;

using pelm::FileStamp;

struct CopyFile {
    std::string name;
    CheckedCopy checked;  // what it holds
    uid_t owner = 0;      // as the folder says; the same before and after the read
    qint64 readAtMs = 0;  // the wall clock as the read returned
};

/// The list of the venue's boards, as a look found it.
struct ExpectedFile {
    enum class State {
        Absent,
        Read,
        TooLong,     // past kMaxExpectedBytes: not read
        NotAFile,    // a link, FIFO, folder, ... at the name
        Unreadable,  // a file, but its read failed
        Untrusted,   // of a user other than the folder's, this reader's or root
    };
    State state = State::Absent;
    std::string bytes;  // when Read
    PathFacts facts;    // what stands at the name
};

struct PictureFile {
    std::string name;
    FileStamp stamp;
    bool good = false;                // a picture a board could have made
    std::optional<QByteArray> bytes;  // read when good and new to the caller
};

struct FolderLook {
    bool listed = false;             // the folder answered with its names
    bool complete = false;           // and every read answered
    QString failure;                 // why it could not be listed, when it said
    std::vector<std::string> names;  // every copy's name the folder listed
    std::vector<CopyFile> copies;
    std::vector<std::string> unanswered;  // chosen, not read by the end of the wait
    std::vector<std::string> failed;      // chosen, but the read failed or raced a write
    std::vector<std::pair<std::string, std::string>> notFiles;  // a name and what stands there
    int unread = 0;  // listed, not read: past the bounds above
    ExpectedFile expected;
    std::vector<PictureFile> pictures;
};

/// The pictures the caller has, by name: read again only when changed.
using KnownPictures = std::map<std::string, FileStamp>;

/// What the caller knows that tells real boards from junk, so a look reads
/// them first: copies of the venue's listed boards (by name, and names
/// beginning "<listed name>-", a board's own copy name), then copies of
/// owners that wrote a good copy before, then the newest.
struct LookHints {
    KnownPictures pictures;
    std::set<std::string> expectedCopies;
    std::set<std::string> expectedPrefixes;
    std::set<uid_t> goodOwners;
    // Copies the caller never had though a look read them (that look was
    // not taken): read again, not passed over as unchanged.
    std::set<std::string> unknownCopies;
};

/// Whether a look reads pictures whole (those changed since the caller had
/// them), or only their heads, to say whether they are good.
enum class PictureBytes { Changed, None };

class VenueFolder {
public:
    /// Starts the first look at once. With `key`, each copy's signature is
    /// checked as it is read.
    explicit VenueFolder(const QString& folder, PictureBytes pictures = PictureBytes::Changed,
                         std::optional<VenueKey> key = std::nullopt);
    /// A look under way is left to its thread, which ends with its next step.
    ~VenueFolder();
    VenueFolder(const VenueFolder&) = delete;
    VenueFolder& operator=(const VenueFolder&) = delete;

    /// Starts a look; false while the last one is still under way, or
    /// ended and not yet taken: a look's copies are known to the caller
    /// only through its taking, so none is ever thrown away.
    bool start(LookHints hints = {});
    /// Waits at most `wait` for the look under way to end; the look as far
    /// as it got (complete when it ended). It is taken.
    FolderLook waitFor(std::chrono::milliseconds wait);
    /// The look that ended since the last call, if one did; it is taken.
    std::optional<FolderLook> ended();
    /// Whether a look is under way, and for how long (milliseconds).
    std::optional<qint64> underWayMs() const;

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
};

}  // namespace pelm::venue
