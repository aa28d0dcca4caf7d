#include "app/SingleInstanceGuard.h"
#include "tests/support/TestSupport.h"

#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QUuid>
#include <QtTest>

#include <dlfcn.h>
#include <memory>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>
#include <utility>

namespace {
// System V keys come from the key file's inode, which the file system picks; this stands in for
// that choice: the key file at foldedPath gets foldedKey.
QByteArray foldedPath;
key_t foldedKey = -1;
} // namespace

extern "C" key_t ftok(const char *path, int id) noexcept
{
    using Real = key_t (*)(const char *, int);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "ftok"));
    return foldedKey != -1 && foldedPath == path ? foldedKey : real(path, id);
}

// Only one copy runs; the keys are made unique per test so no real copy is ever met.
class tst_SingleInstanceGuard : public QObject
{
    Q_OBJECT

private:
    QString semaphoreKey;
    QString memoryKey;
    int stale = -1; // a segment nobody holds, removed after each case

    std::unique_ptr<SingleInstanceGuard> makeGuard()
    {
        return std::make_unique<SingleInstanceGuard>(semaphoreKey, memoryKey);
    }

private slots:
    void init()
    {
        const QString unique = QUuid::createUuid().toString(QUuid::Id128);
        semaphoreKey = QStringLiteral("tst_sem_") + unique;
        memoryKey = QStringLiteral("tst_mem_") + unique;
    }
    void cleanup()
    {
        foldedKey = -1;
        if (stale != -1)
            shmctl(std::exchange(stale, -1), IPC_RMID, nullptr);
    }

    void secondCopyIsRefusedWhileTheFirstRuns()
    {
        testsupport::LogCapture log;
        auto first = makeGuard();
        QCOMPARE(first->acquire(), SingleInstanceGuard::Outcome::Running);
        QVERIFY(!log.contains(QStringLiteral("已经在运行中")));

        auto second = makeGuard();
        QCOMPARE(second->acquire(), SingleInstanceGuard::Outcome::AlreadyRunning);
        QCOMPARE(SingleInstanceGuard::exitCode(SingleInstanceGuard::Outcome::AlreadyRunning), 0);
        QCOMPARE(log.count(QStringLiteral("Orvelin Mixer 已经在运行中。")), 1);
        second.reset();

        // The refused copy's check (attach, detach, attach) must not free the running copy's
        // segment: a third copy is refused as well.
        auto third = makeGuard();
        QCOMPARE(third->acquire(), SingleInstanceGuard::Outcome::AlreadyRunning);
        third.reset();

        // Another user's copy has keys of its own and starts beside it.
        QCOMPARE(QString::fromStdString(platform::instanceKeySuffix()), QStringLiteral("-uid%1").arg(getuid()));
        SingleInstanceGuard otherUser(semaphoreKey, memoryKey, QStringLiteral("-uid%1").arg(getuid() + 1));
        QCOMPARE(otherUser.acquire(), SingleInstanceGuard::Outcome::Running);

        // Once the first copy has ended, the segment is gone and a new copy starts.
        first.reset();
        auto next = makeGuard();
        QCOMPARE(next->acquire(), SingleInstanceGuard::Outcome::Running);
    }

    void staleSegmentOnTheNewKeyIsFreed()
    {
        // A killed process's segment, nobody attached and its key file gone, sits on the key the
        // marker's new key file gets: the copy starts all the same, and the segment is freed.
        QTemporaryFile inode;
        QVERIFY(inode.open());
        foldedKey = ftok(QFile::encodeName(inode.fileName()).constData(), 'Q');
        stale = shmget(foldedKey, 1, IPC_CREAT | IPC_EXCL | 0600);
        QVERIFY(stale != -1);
        foldedPath = QFile::encodeName(
            QSharedMemory(memoryKey + QString::fromStdString(platform::instanceKeySuffix())).nativeKey());
        const auto first = makeGuard();
        QCOMPARE(first->acquire(), SingleInstanceGuard::Outcome::Running);
        QCOMPARE(makeGuard()->acquire(), SingleInstanceGuard::Outcome::AlreadyRunning);
        shmid_ds info {};
        QCOMPARE(shmctl(stale, IPC_STAT, &info), -1);
    }

    void segmentThatCannotBeCreatedEndsWithMinusOne()
    {
        // The keys' files live in the temporary folder; a plain file in its place lets nothing be
        // created, not even for root.
        const QByteArray saved = qgetenv("TMPDIR");
        QTemporaryDir parent;
        const QString notAFolder = parent.filePath(QStringLiteral("file"));
        QVERIFY(testsupport::writeFile(notAFolder, {}));
        qputenv("TMPDIR", QFile::encodeName(notAFolder));
        testsupport::LogCapture log;
        auto guard = makeGuard();
        const SingleInstanceGuard::Outcome outcome = guard->acquire();
        guard.reset();
        if (saved.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", saved);
        QCOMPARE(outcome, SingleInstanceGuard::Outcome::CreateFailed);
        QCOMPARE(SingleInstanceGuard::exitCode(outcome), -1);
        QCOMPARE(log.count(QStringLiteral("无法创建共享内存，程序退出。")), 1);
    }
};

QTEST_GUILESS_MAIN(tst_SingleInstanceGuard)
#include "tst_SingleInstanceGuard.moc"
