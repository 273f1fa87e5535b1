#include "ui/screen_blank_inhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>

namespace pelm {
namespace {

constexpr char kService[] = "org.freedesktop.ScreenSaver";
constexpr char kPath[] = "/org/freedesktop/ScreenSaver";

QDBusMessage screenSaverCall(const char* method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, method);
    call.setArguments(arguments);
    return call;
}

}  // namespace

ScreenBlankInhibitor::ScreenBlankInhibitor() {
    if (!QDBusConnection::sessionBus().isConnected()) {
        failure_ = QStringLiteral("no session bus");
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
    QDBusConnection::sessionBus().call(screenSaverCall("UnInhibit", {*cookie_}), QDBus::NoBlock);
}

}  // namespace pelm
