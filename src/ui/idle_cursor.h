#pragma once
// Hides the mouse pointer over a board left alone: after a spell without
// movement the pointer goes, and the next movement brings it back.

#include <QObject>
#include <QTimer>
#include <chrono>

namespace pelm {

class IdleCursor : public QObject {
    Q_OBJECT

public:
    /// Watches the whole application's mouse movements from now on.
    explicit IdleCursor(std::chrono::milliseconds after = std::chrono::seconds(3),
                        QObject* parent = nullptr);
    ~IdleCursor() override;

    bool hidden() const { return hidden_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void hide();
    void show();

    QTimer idle_;
    bool hidden_ = false;
};

}  // namespace pelm
