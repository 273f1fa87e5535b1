#include "ui/screen_blank_inhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>

#include "platform/session_bus.h"

namespace pelm {
namespace {

constexpr char kService[] = "org.freedesktop.ScreenSaver";
constexpr char kPath[] = "/org/freedesktop/ScreenSaver";
constexpr int kUnInhibitWaitMs = 1000;

QDBusMessage screenSaverCall(const char* method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, method);
    call.setArguments(arguments);
    return call;
}

}  // namespace

ScreenBlankInhibitor::ScreenBlankInhibitor() {
    if (sessionBusAddress().empty()) {
        failure_ = QStringLiteral("no session bus address");
        return;
    }
    if (!QDBusConnection::sessionBus().isConnected()) {
        failure_ = QStringLiteral("the session bus does not answer");
        return;
    }
    const QDBusReply<uint> reply = QDBusConnection::sessionBus().call(screenSaverCall(
        "Inhibit", {QStringLiteral("PelmDp"), QStringLiteral("race-day board on show")}));
    if (!reply.isValid()) {
        failure_ = reply.error().message();
        return;
    }
    cookie_ = reply.value();
}

ScreenBlankInhibitor::~ScreenBlankInhibitor() {
    if (!cookie_) return;
    // Waited for, briefly: a request only queued would be lost as the
    // process ends, and a screen saver that keeps it blanks nothing again.
    QDBusConnection::sessionBus().call(screenSaverCall("UnInhibit", {*cookie_}), QDBus::Block,
                                       kUnInhibitWaitMs);
}

}  // namespace pelm
