#include "app/TerminationWatcher.h"

#include "platform/ProcessSignals.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMetaObject>
#include <QSocketNotifier>

TerminationWatcher::TerminationWatcher(QObject *parent)
    : QObject(parent)
{
    // The installer's request (Windows) arrives on a thread of the platform layer: it is carried
    // over to the event loop, which then quits as from the tray menu.
    platform::watchQuitRequests([this] {
        QMetaObject::invokeMethod(
            this,
            [] {
                qDebug() << "Quit requested by the installer, quitting.";
                QCoreApplication::exit(0);
            },
            Qt::QueuedConnection);
    });
    const platform::PortHandle requests = platform::terminationRequests();
    if (requests == platform::kInvalidHandle)
        return;
    notifier = new QSocketNotifier(static_cast<qintptr>(requests), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [requests] {
        platform::takeTerminationRequests(requests);
        qDebug() << "Termination requested, quitting.";
        // Not quit(): a shown main window would refuse to close and keep the program running.
        QCoreApplication::exit(0);
    });
}

TerminationWatcher::~TerminationWatcher()
{
    platform::stopQuitRequests();
}
