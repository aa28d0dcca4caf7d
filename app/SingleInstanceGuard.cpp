#include "app/SingleInstanceGuard.h"

#include <QDebug>

SingleInstanceGuard::SingleInstanceGuard(
    const QString &semaphoreKey, const QString &memoryKey, const QString &userSuffix)
    : lock(semaphoreKey + userSuffix, 1, QSystemSemaphore::Open)
    , marker(memoryKey + userSuffix)
{ }

bool SingleInstanceGuard::anotherCopyRuns()
{
    if (!marker.attach(QSharedMemory::ReadWrite))
        return false;
    // On Linux the segment of a killed copy outlives it and would still attach. Detaching frees
    // a segment nobody else holds; a running copy keeps its own attached, so a second attach
    // succeeds only while that copy runs.
    marker.detach();
    return marker.attach(QSharedMemory::ReadWrite);
}

SingleInstanceGuard::Outcome SingleInstanceGuard::acquire()
{
    lock.acquire();
    if (anotherCopyRuns()) {
        marker.detach();
        lock.release();
        qDebug() << "Orvelin Mixer 已经在运行中。";
        return Outcome::AlreadyRunning;
    }
    if (!createMarker()) {
        lock.release();
        qDebug() << "无法创建共享内存，程序退出。";
        return Outcome::CreateFailed;
    }
    lock.release();
    return Outcome::Running;
}

bool SingleInstanceGuard::createMarker()
{
    if (marker.create(1, QSharedMemory::ReadWrite))
        return true;
    // On Linux a segment's key comes from its key file's inode number (its low 16 bits), so a key
    // file made anew can land on the key of a segment a killed process left behind, whose own key
    // file is gone: the check above never saw it. The new file reaches it now; a segment nobody
    // holds is freed and the marker made once more. One held by a running copy stays refused.
    if (marker.error() != QSharedMemory::AlreadyExists || anotherCopyRuns()) {
        marker.detach();
        return false;
    }
    return marker.create(1, QSharedMemory::ReadWrite);
}

int SingleInstanceGuard::exitCode(Outcome outcome)
{
    switch (outcome) {
    case Outcome::AlreadyRunning:
        return 0;
    case Outcome::CreateFailed:
        return -1;
    case Outcome::Running:
        break;
    }
    return 0;
}
