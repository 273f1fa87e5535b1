#include "ui/quit_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cerrno>

namespace pelm {
namespace {

int pipeEnds[2] = {-1, -1};

void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}

void install(int signal, struct sigaction& previous) {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, &previous);
}

}  // namespace

QuitSignals::QuitSignals(QObject* parent, std::function<void()> quit)
    : QObject(parent), quit_(std::move(quit)) {
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) == 0) {
        notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::drainAndClose);
        install(SIGTERM, previousTerm_);
        install(SIGINT, previousInt_);
    }
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { quit_(); });
}

QuitSignals::~QuitSignals() {
    if (!notifier_) return;
    sigaction(SIGTERM, &previousTerm_, nullptr);
    sigaction(SIGINT, &previousInt_, nullptr);
    delete notifier_;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void QuitSignals::drainAndClose() {
    char bytes[64];
    while (::read(pipeEnds[0], bytes, sizeof bytes) > 0) {
    }
    quit_();
}

}  // namespace pelm
