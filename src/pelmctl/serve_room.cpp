#include "pelmctl/serve_room.h"

#include <QDateTime>
#include <chrono>

#include "venue/venue_json.h"
#include "venue/venue_metrics.h"

namespace pelmctl {

using pelm::venue::VenueWatch;

ControlRoom::ControlRoom(const QString& folder, std::optional<pelm::VenueKey> key, QObject* parent)
    : QObject(parent),
      folder_(folder, pelm::venue::PictureBytes::Changed, key),
      watch_(folder, VenueWatch::kControlRoomPatienceMs, key.has_value()) {
    clock_.start();
    timer_.setInterval(kLookIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &ControlRoom::look);
    publish();
}

bool ControlRoom::firstLook(QString& failure) {
    pelm::venue::FolderLook look = folder_.waitFor(std::chrono::milliseconds(kLookDeadlineMs));
    failure = look.failure;
    const bool readable = look.listed || !look.complete;
    take(std::move(look));
    timer_.start();
    return readable;
}

// Takes the look that ended, if one did, and starts the next; a look still
// under way past its deadline makes the folder not answering.
void ControlRoom::look() {
    if (auto ended = folder_.ended()) {
        take(std::move(*ended));
    } else if (folder_.underWayMs().value_or(0) > kLookDeadlineMs) {
        watch_.lookHangs(QDateTime::currentMSecsSinceEpoch());
        publish();
    }
    folder_.start(watch_.hints());
}

void ControlRoom::take(pelm::venue::FolderLook look) {
    watch_.take(std::move(look), clock_.elapsed(), QDateTime::currentMSecsSinceEpoch());
    publish();
}

void ControlRoom::publish() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const pelm::venue::VenueView view = watch_.view(clock_.elapsed(), now.toMSecsSinceEpoch());
    json_ = pelm::venue::venueJson(view, now);
    metrics_ = pelm::venue::venueMetrics(view);
    served_.clear();
    for (const pelm::venue::VenueBoard& board : view.boards) {
        if (!board.picture.isEmpty()) served_.append(board.picture);
    }
}

const QByteArray* ControlRoom::picture(const QString& name) const {
    return served_.contains(name) ? watch_.picture(name) : nullptr;
}

}  // namespace pelmctl
