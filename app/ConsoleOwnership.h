#pragma once

#include "platform/ConsoleSession.h"

#include <QAbstractNativeEventFilter>
#include <QObject>

class QTimer;

#include <cstdint>

// Tells the panel whether its session owns the console and so drives the device. It watches the
// system's session changes on one window of ours and says each hand-over in one log line.
class ConsoleOwnership : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    // Watches `window` (a native window id) from here on; the panel drives the device until
    // refresh() or a session change says otherwise.
    explicit ConsoleOwnership(std::uintptr_t window, QObject *parent = nullptr);
    ~ConsoleOwnership() override;

    bool drivesDevice() const { return driving; }
    // Reads the system's session state now.
    void refresh();
    // Takes a new state as a session change brings it; tests drive hand-overs through here.
    void apply(const platform::SessionState &state);

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

signals:
    void drivesDeviceChanged(bool drives);

private:
    void watch();

    std::uintptr_t window;
    // Early in a log-in the system may refuse the registration (its session services are not up
    // yet): it is tried again every 2 s, and the state read each time meanwhile.
    QTimer *retry = nullptr;
    bool watching = false;
    platform::SessionState current;
    bool driving = true;
};
