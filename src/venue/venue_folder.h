#pragma once
// Reading a venue's status folder, usually a share that may stop
// answering. One look lists the status copies, reads each within its bound,
// the list of the venue's boards, and beside each copy its picture: its head
// always, the whole file only when it changed since the caller last had it.
// A thread of its own takes each look step by step through the folder's
// worker (share_worker.h), so the caller never waits for the share; a step
// that does not answer in time ends the look, and the caller learns how far
// it got and which copies did not answer. While the share stays silent,
// each further look ends at once.

#include <sys/types.h>

#include <QByteArray>
#include <QString>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/untrusted_folder.h"

namespace pelm::venue {

/// Copies beyond this many are not read: a folder anyone can write could
/// otherwise hold thousands, each read on every look.
constexpr int kMaxCopies = 64;
/// Names of the venue's boards, one per line (UTF-8), kept by the venue
/// beside the copies: a board listed there without a copy is missing.
inline constexpr char kExpectedBoardsName[] = "expected-boards.txt";
constexpr int kMaxExpectedBytes = 16 * 1024;

using pelm::FileStamp;

struct CopyFile {
    std::string name;
    std::string bytes;  // at most one byte past a status file's bound
    qint64 readAtMs;    // the wall clock as the read returned
};

struct PictureFile {
    std::string name;
    FileStamp stamp;
    bool good = false;                // a picture a board could have made
    std::optional<QByteArray> bytes;  // read when good and new to the caller
};

struct FolderLook {
    bool listed = false;    // the folder answered with its names
    bool complete = false;  // and every read answered
    QString failure;        // why it could not be listed, when it said
    bool tooMany = false;   // more than kMaxCopies copies; the rest unread
    std::vector<CopyFile> copies;
    std::vector<std::string> unanswered;  // copies not read by the end of the wait
    std::optional<std::string> expected;  // the list of the venue's boards, when there
    std::vector<PictureFile> pictures;
};

/// The pictures the caller has, by name: read again only when changed.
using KnownPictures = std::map<std::string, FileStamp>;

/// Whether a look reads pictures whole (those changed since the caller had
/// them), or only their heads, to say whether they are good.
enum class PictureBytes { Changed, None };

class VenueFolder {
public:
    /// Starts the first look at once.
    explicit VenueFolder(const QString& folder, PictureBytes pictures = PictureBytes::Changed);
    /// A look under way is left to its thread, which ends with its next step.
    ~VenueFolder();
    VenueFolder(const VenueFolder&) = delete;
    VenueFolder& operator=(const VenueFolder&) = delete;

    /// Starts a look; false while the last one is still under way.
    bool start(KnownPictures known = {});
    /// Waits at most `wait` for the look under way to end; the look as far
    /// as it got (complete when it ended).
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
