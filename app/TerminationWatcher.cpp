#include "app/TerminationWatcher.h"

#include "platform/ProcessSignals.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSocketNotifier>

TerminationWatcher::TerminationWatcher(QObject *parent)
    : QObject(parent)
{
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
