#include "engine/venue_status_writer.h"

#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/share_worker.h"
#include "platform/untrusted_folder.h"

namespace pelm {
namespace {

using std::chrono::milliseconds;

QString local(const std::string& text) {
    return QFile::decodeName(text.c_str());
}

// How the journal names the file at `path`.
QString fileKind(const std::string& path) {
    return path.ends_with(".png") ? QStringLiteral("screen picture")
                                  : QStringLiteral("status copy");
}

QString failureText(const PostedOutcome& outcome) {
    const Replacement* replaced = std::get_if<Replacement>(&outcome.answer);
    const CallFailed* failed = std::get_if<CallFailed>(&outcome.answer);
    const QString why = failed            ? QString::fromStdString(failed->reason)
                        : !replaced       ? QStringLiteral("the folder stalled")
                        : replaced->error ? QString::fromLocal8Bit(std::strerror(replaced->error))
                                          : QStringLiteral("refused");
    return QStringLiteral("%1 %2 cannot be written: %3")
        .arg(fileKind(outcome.nativePath), local(outcome.nativePath), why);
}

}  // namespace

VenueStatusWriter::VenueStatusWriter(QString folder, QString base, const Clock& time,
                                     QString keyFile)
    : folder_(std::move(folder)),
      nativeFolder_(QFile::encodeName(folder_).toStdString()),
      base_(QFile::encodeName(base).toStdString()),
      worker_(ShareWorker::forFolder(nativeFolder_)),
      time_(time),
      keyFile_(std::move(keyFile)),
      keyFailures_(time, QtWarningMsg),
      failures_(time, QtWarningMsg),
      displaced_(time, QtWarningMsg) {}

VenueStatusWriter::~VenueStatusWriter() {
    waitIdle(kCloseWaitMs);
}

std::string VenueStatusWriter::path(const char* extension) const {
    return nativeFolder_ + "/" + base_ + extension;
}

void VenueStatusWriter::submit(QByteArray json) {
    lastCopy_ = std::move(json);
    worker_.post({path(".json"), copyBytes(), Durability::Visible});
    journalOutcomes();
}

void VenueStatusWriter::setKeyFile(QString keyFile) {
    keyFile_ = std::move(keyFile);
    key_.reset();
    keyTriedMs_.reset();
    keyFailures_.cleared();
}

// The copy as it goes to the folder: signed when the key can be read.
std::string VenueStatusWriter::copyBytes() {
    const qint64 now = time_.nowMs();
    const bool retry = !keyTriedMs_ || now - *keyTriedMs_ >= kKeyRetryMs || now < *keyTriedMs_;
    if (!keyFile_.isEmpty() && !key_ && retry) {
        keyTriedMs_ = now;
        QString problem;
        key_ = readVenueKey(keyFile_, &problem);
        if (key_) {
            keyFailures_.cleared();
        } else {
            keyFailures_.occurred(QStringLiteral("venue key %1 cannot be used: %2; the status copy "
                                                 "goes unsigned, and a control room with the key "
                                                 "shows it as forged")
                                      .arg(keyFile_, problem));
        }
    }
    return (key_ ? signedCopy(lastCopy_, *key_) : lastCopy_).toStdString();
}

void VenueStatusWriter::submitPicture(QByteArray png) {
    lastPicture_ = std::move(png);
    worker_.post({path(".png"), lastPicture_.toStdString(), Durability::Visible});
    journalOutcomes();
}

bool VenueStatusWriter::waitIdle(int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<milliseconds>(until - Clock::now());
        const bool idle = worker_.waitIdle(std::max(left, milliseconds(0)));
        // Names that moved send both files again: those are waited for too.
        if (!journalOutcomes()) return idle;
    }
}

QString VenueStatusWriter::pictureName() const {
    return local(base_ + ".png");
}

// True when the names moved and both files went to the new ones.
bool VenueStatusWriter::journalOutcomes() {
    bool postedAgain = false;
    for (const PostedOutcome& outcome : worker_.outcomes()) {
        // A write to the names before they moved says nothing any more.
        if (outcome.nativePath != path(".json") && outcome.nativePath != path(".png")) continue;
        if (moveAside(outcome)) {
            postedAgain = true;
        } else {
            journalOutcome(outcome);
        }
    }
    return postedAgain;
}

// Moves the copy and its picture to a name of the board's own when the
// folder refused the usual one because something not the board's stands
// there; says so.
bool VenueStatusWriter::moveAside(const PostedOutcome& refused) {
    const Replacement* replaced = std::get_if<Replacement>(&refused.answer);
    if (moved_ || !replaced || replaced->done) return false;
    const std::string what = describeForeign(replaced->refusedBy, getuid());
    if (what.empty()) return false;
    base_ += "-" + unguessableText();
    moved_ = true;
    displaced_.occurred(QStringLiteral("status copy %1 is %2, which this folder does not let the "
                                       "board replace: the copy and its picture go to %3 instead")
                            .arg(local(refused.nativePath), local(what), local(path(".json"))));
    // The picture first: the copy at the new name names the picture there.
    if (!lastPicture_.isEmpty())
        worker_.post({path(".png"), lastPicture_.toStdString(), Durability::Visible});
    if (!lastCopy_.isEmpty()) worker_.post({path(".json"), copyBytes(), Durability::Visible});
    return true;
}

void VenueStatusWriter::journalOutcome(const PostedOutcome& outcome) {
    const Replacement* replaced = std::get_if<Replacement>(&outcome.answer);
    if (!replaced || !replaced->done) return failures_.occurred(failureText(outcome));
    const std::string what = describeForeign(replaced->displaced, replaced->ours);
    if (!what.empty())
        displaced_.occurred(
            QStringLiteral("%1 %2 was %3; replaced by the board's own file, "
                           "nothing written through it")
                .arg(fileKind(outcome.nativePath), local(outcome.nativePath), local(what)));
    failures_.cleared();
}

}  // namespace pelm
