#include "app/SingleInstanceGuard.h"
#include "tests/support/TestSupport.h"

#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

#include <memory>
#include <unistd.h>

// Only one copy runs; the keys are made unique per test so no real copy is ever met.
class tst_SingleInstanceGuard : public QObject
{
    Q_OBJECT

private:
    QString semaphoreKey;
    QString memoryKey;

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
