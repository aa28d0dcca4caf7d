#include "tests/e2e/E2eSession.h"

#include "tests/support/RequestTable.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <csignal>
#include <sys/ipc.h>
#include <sys/prctl.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/stat.h>

namespace {

bool makePrivateFolder(const QString &path)
{
    return QDir().mkpath(path) && ::chmod(QFile::encodeName(path).constData(), 0700) == 0;
}

// Children die with the test, even when it crashes.
void dieWithParent(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

} // namespace

E2eSession::E2eSession()
    : env(QProcessEnvironment::systemEnvironment())
{
    for (const char *folder : { "runtime", "xdg-runtime", "data", "config", "home", "tmp" })
        makePrivateFolder(root.filePath(QString::fromLatin1(folder)));
    env.insert(QStringLiteral("ORVELIN_RUNTIME_DIR"), root.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root.filePath(QStringLiteral("xdg-runtime")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("HOME"), root.filePath(QStringLiteral("home")));
    // The single-instance semaphore and segment are keyed by files in the temporary folder.
    env.insert(QStringLiteral("TMPDIR"), root.filePath(QStringLiteral("tmp")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_FORCE_STDERR_LOGGING"), QStringLiteral("1"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    // Without a session bus Qt uses the plain X11 tray protocol where there is a tray.
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
}

E2eSession::~E2eSession()
{
    for (QProcess *program : programs) {
        kill(program);
        delete program;
    }
    for (QProcess *helper : helpers) {
        helper->kill();
        helper->waitForFinished(5000);
        delete helper;
    }
    if (emulatorProcess) {
        if (emulatorProcess->state() != QProcess::NotRunning) {
            emulatorProcess->write("quit\n");
            if (!emulatorProcess->waitForFinished(2000)) {
                emulatorProcess->kill();
                emulatorProcess->waitForFinished(2000);
            }
        }
        delete emulatorProcess;
    }
    removeSystemVObjects();
}

// A copy killed with SIGKILL leaves its semaphore and segment in the kernel; they are found
// again through the key files in this session's temporary folder and removed.
void E2eSession::removeSystemVObjects()
{
    const QDir tmp(root.filePath(QStringLiteral("tmp")));
    for (const QString &name : tmp.entryList({ QStringLiteral("qipc_*") }, QDir::Files)) {
        const key_t key = ::ftok(QFile::encodeName(tmp.filePath(name)).constData(), 'Q');
        if (key == -1)
            continue;
        const int semaphore = ::semget(key, 0, 0);
        if (semaphore != -1)
            ::semctl(semaphore, 0, IPC_RMID);
        const int segment = ::shmget(key, 0, 0);
        if (segment != -1)
            ::shmctl(segment, IPC_RMID, nullptr);
    }
}

bool E2eSession::startEmulator(std::uint32_t model, const QString &firmware)
{
    emulatorProcess = new QProcess();
    emulatorProcess->setProcessEnvironment(env);
    dieWithParent(*emulatorProcess);
    emulatorProcess->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    emulatorProcess->start(QStringLiteral(ORVELIN_EMULATOR_EXE),
        { QStringLiteral("--model"), QString::number(model), QStringLiteral("--firmware"), firmware,
            QStringLiteral("--log"), requestLogPath() });
    if (!emulatorProcess->waitForStarted(5000))
        return false;
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        emulatorProcess->waitForReadyRead(50);
        emulatorOutput += emulatorProcess->readAllStandardOutput();
        const int end = emulatorOutput.indexOf('\n');
        if (end >= 0) {
            const QByteArray line = emulatorOutput.left(end);
            emulatorOutput.remove(0, end + 1);
            return line.startsWith("ready");
        }
    }
    return false;
}

QString E2eSession::emulator(const QString &command, int timeoutMs)
{
    if (!emulatorProcess)
        return QString();
    emulatorProcess->write(command.toUtf8() + '\n');
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const int end = emulatorOutput.indexOf('\n');
        if (end >= 0) {
            const QString line = QString::fromUtf8(emulatorOutput.left(end));
            emulatorOutput.remove(0, end + 1);
            return line;
        }
        if (deadline.hasExpired())
            return QString();
        emulatorProcess->waitForReadyRead(50);
        emulatorOutput += emulatorProcess->readAllStandardOutput();
    }
}

QString E2eSession::requestLogPath() const
{
    return root.filePath(QStringLiteral("emulator-requests.log"));
}

QStringList E2eSession::settingRequests() const
{
    QFile file(requestLogPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList requests;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty())
            continue;
        const QJsonObject request = QJsonDocument::fromJson(line).object();
        if (request.isEmpty()) {
            requests << QStringLiteral("unreadable log line: ") + QString::fromUtf8(line);
            continue;
        }
        const QString setting
            = testsupport::describeSetting(request.value(QStringLiteral("code")).toString().toUInt(nullptr, 16),
                QByteArray::fromHex(request.value(QStringLiteral("input")).toString().toLatin1()));
        if (setting.isEmpty())
            continue;
        const QString result = request.value(QStringLiteral("result")).toString();
        requests << (result == QLatin1String("ok") ? setting : setting + QStringLiteral(" (") + result + ')');
    }
    return requests;
}

QProcess *E2eSession::startProgram()
{
    auto *program = new QProcess();
    programs.push_back(program);
    program->setProcessEnvironment(env);
    dieWithParent(*program);
    // ORVELIN_E2E_DRIVER runs another build of the program, so a benchmark can compare two.
    program->setProgram(qEnvironmentVariable("ORVELIN_E2E_DRIVER", QStringLiteral(ORVELIN_DRIVER_EXE)));
    program->start();
    program->waitForStarted(5000);
    return program;
}

QProcess *E2eSession::startHelper(const QString &program, const QStringList &arguments)
{
    auto *helper = new QProcess();
    helpers.push_back(helper);
    helper->setProcessEnvironment(env);
    dieWithParent(*helper);
    helper->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper->start(program, arguments);
    helper->waitForStarted(5000);
    return helper;
}

void E2eSession::collect(QProcess *program)
{
    logs[program] += program->readAllStandardError();
    program->readAllStandardOutput();
}

QString E2eSession::log(QProcess *program)
{
    collect(program);
    return QString::fromUtf8(logs.value(program));
}

int E2eSession::logCount(QProcess *program, const QString &text)
{
    return static_cast<int>(log(program).count(text));
}

bool E2eSession::waitForLog(QProcess *program, const QString &text, int timeoutMs, int count)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (logCount(program, text) >= count)
            return true;
        if (deadline.hasExpired() || program->state() == QProcess::NotRunning)
            return logCount(program, text) >= count;
        program->waitForReadyRead(50);
    }
}

int E2eSession::terminate(QProcess *program, int timeoutMs)
{
    if (program->state() != QProcess::NotRunning) {
        program->terminate();
        if (!program->waitForFinished(timeoutMs))
            return -100;
    }
    collect(program);
    return program->exitStatus() == QProcess::NormalExit ? program->exitCode() : -100;
}

void E2eSession::kill(QProcess *program)
{
    if (program->state() != QProcess::NotRunning) {
        program->kill();
        program->waitForFinished(5000);
    }
    collect(program);
}
