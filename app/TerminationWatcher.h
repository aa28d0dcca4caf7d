#pragma once

#include <QObject>

class QSocketNotifier;

// Ends the event loop when the system asks the process to terminate (SIGTERM, SIGINT on Linux) or
// the installer asks it to quit (its named event on Windows), as the tray's "Quit" does, so the
// normal teardown runs. Does nothing where there are no such requests.
class TerminationWatcher : public QObject
{
public:
    explicit TerminationWatcher(QObject *parent = nullptr);
    ~TerminationWatcher() override;

private:
    QSocketNotifier *notifier = nullptr;
};
