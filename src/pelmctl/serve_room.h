#pragma once
// The control room's view of the venue, kept current in the background: the
// status folder is looked at twice a second on a thread of its own, so a
// request never waits for the share, and a share that stops answering shows
// as such instead of holding up the page. The JSON and the metrics are made
// once per look, whoever asks for them how often.

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include "venue/venue_folder.h"
#include "venue/venue_watch.h"

namespace pelmctl {

class ControlRoom : public QObject {
public:
    /// With `key`, only copies signed with it are believed.
    explicit ControlRoom(const QString& folder, std::optional<pelm::VenueKey> key = std::nullopt,
                         QObject* parent = nullptr);

    static constexpr int kLookIntervalMs = 500;
    /// A look that has not answered by then makes the folder not answering.
    static constexpr int kLookDeadlineMs = 2500;

    /// The first look, waited for at most the deadline, and the looks that
    /// follow started: whether the folder could be read (one that does not
    /// answer yet may be); `failure` says why not.
    bool firstLook(QString& failure);

    const QByteArray& json() const { return json_; }
    const QByteArray& metrics() const { return metrics_; }
    /// A picture a board of the venue made, by name; null for any other.
    const QByteArray* picture(const QString& name) const;

private:
    void look();
    void take(pelm::venue::FolderLook look);
    void publish();

    pelm::venue::VenueFolder folder_;
    pelm::venue::VenueWatch watch_;
    QTimer timer_;
    QElapsedTimer clock_;
    QByteArray json_;
    QByteArray metrics_;
    QStringList served_;  // the pictures the boards in view show
};

}  // namespace pelmctl
