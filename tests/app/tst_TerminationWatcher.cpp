#include "app/TerminationWatcher.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QTimer>
#include <QtTest>

#include <csignal>

// SIGTERM and SIGINT end the event loop like "Quit", so the normal teardown after it runs.
class tst_TerminationWatcher : public QObject
{
    Q_OBJECT

private slots:
    void signalsEndTheEventLoop()
    {
        TerminationWatcher watcher;
        for (int signal : { SIGTERM, SIGINT }) {
            testsupport::LogCapture log;
            QTimer limit;
            limit.setSingleShot(true);
            connect(&limit, &QTimer::timeout, [] { QCoreApplication::exit(1); });
            limit.start(5000);
            QTimer::singleShot(0, [signal] { ::raise(signal); });
            QCOMPARE(QCoreApplication::exec(), 0);
            QCOMPARE(log.count(QStringLiteral("Termination requested, quitting.")), 1);
        }
    }
};

QTEST_GUILESS_MAIN(tst_TerminationWatcher)
#include "tst_TerminationWatcher.moc"
