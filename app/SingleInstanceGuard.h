#pragma once

#include "platform/ProcessSignals.h"

#include <QSharedMemory>
#include <QSystemSemaphore>

// Lets one copy of the control panel run at a time: a 1-byte shared memory segment marks the
// running copy, and a system semaphore makes the check-and-create step atomic between copies
// started at the same moment. The segment lives as long as this object.
class SingleInstanceGuard
{
public:
    enum class Outcome { Running, AlreadyRunning, CreateFailed };

    // Both keys get userSuffix appended: on Linux their files live in the shared /tmp, so each
    // user has their own copy ("-uid1000"); Windows keeps the bare names.
    explicit SingleInstanceGuard(const QString &semaphoreKey = QStringLiteral("OrvelinQtDriverSemaphore"),
        const QString &memoryKey = QStringLiteral("OrvelinQtDriverSharedMemory"),
        const QString &userSuffix = QString::fromStdString(platform::instanceKeySuffix()));

    // Decides once, logging the refusal or the failure; the lock is released on every path.
    Outcome acquire();

    // The process exit code for a copy that must not go on (0 for a second copy, -1 when the
    // segment cannot be created).
    static int exitCode(Outcome outcome);

private:
    bool anotherCopyRuns();
    bool createMarker();

    QSystemSemaphore lock;
    QSharedMemory marker;
};
