#include "app/ConsoleOwnership.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTimer>

namespace {

QString sessionText(std::uint32_t session)
{
    return session == platform::kNoConsoleSession ? QStringLiteral("none") : QString::number(session);
}

} // namespace

ConsoleOwnership::ConsoleOwnership(std::uintptr_t window, QObject *parent)
    : QObject(parent)
    , window(window)
{
    QCoreApplication::instance()->installNativeEventFilter(this);
    watch();
    if (watching)
        return;
    retry = new QTimer(this);
    retry->setInterval(2000);
    connect(retry, &QTimer::timeout, this, [this] {
        refresh();
        watch();
        if (watching)
            retry->stop();
    });
    retry->start();
}

ConsoleOwnership::~ConsoleOwnership()
{
    QCoreApplication::instance()->removeNativeEventFilter(this);
    if (watching)
        platform::stopWatchingSessionChanges(window);
}

void ConsoleOwnership::watch()
{
    watching = platform::watchSessionChanges(window);
}

void ConsoleOwnership::refresh()
{
    apply(platform::currentSessionState());
}

void ConsoleOwnership::apply(const platform::SessionState &state)
{
    current = state;
    const bool drives = platform::sessionDrivesDevice(state);
    if (drives == driving)
        return;
    driving = drives;
    if (drives)
        qDebug().noquote() << QStringLiteral("Device taken over: session %1 is the console session.").arg(state.own);
    else if (state.remote)
        qDebug().noquote()
            << QStringLiteral("Device handed over: session %1 is a remote-desktop session.").arg(state.own);
    else
        qDebug().noquote() << QStringLiteral("Device handed over: session %1 is not the console session (%2).")
                                  .arg(state.own)
                                  .arg(sessionText(state.console));
    emit drivesDeviceChanged(drives);
}

bool ConsoleOwnership::nativeEventFilter(const QByteArray &, void *message, qintptr *)
{
    platform::SessionState state = current;
    if (platform::readSessionChange(message, state))
        apply(state);
    // Qt and the window still see the message.
    return false;
}
