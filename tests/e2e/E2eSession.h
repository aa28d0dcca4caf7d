#pragma once

#include <QByteArray>
#include <QHash>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <vector>

class QProcess;

// One isolated run of the real programs: the emulator and any number of OrvelinDriver copies,
// with their own runtime, settings and temporary folders (so even the single-instance keys are
// private), and nothing left running afterwards.
class E2eSession
{
public:
    E2eSession();
    ~E2eSession();
    E2eSession(const E2eSession &) = delete;
    E2eSession &operator=(const E2eSession &) = delete;

    bool isValid() const { return root.isValid(); }
    QString rootPath() const { return root.path(); }
    QProcessEnvironment &environment() { return env; }

    // Starts orvelin-emulator with a device of this model plugged and waits for it to serve.
    bool startEmulator(std::uint32_t model, const QString &firmware = QStringLiteral("V4.0.6.123"));
    // Sends one command line and returns the emulator's answer line (empty after a time-out).
    QString emulator(const QString &command, int timeoutMs = 3000);
    // The emulator's JSON request log, and what it holds of the vendor commands and mixer blocks
    // in the words of a request table ("vendor 01 03 00 02 01 64 00", "block").
    QString requestLogPath() const;
    QStringList settingRequests() const;

    // Starts a copy of OrvelinDriver; its log collects everything it writes to standard error.
    QProcess *startProgram();
    QString log(QProcess *program);
    // Waits until the program's log holds a line containing text `count` times.
    bool waitForLog(QProcess *program, const QString &text, int timeoutMs, int count = 1);
    int logCount(QProcess *program, const QString &text);
    // Asks the program to terminate (SIGTERM) and returns its exit code, or -100 on a time-out.
    int terminate(QProcess *program, int timeoutMs = 5000);
    void kill(QProcess *program);

    // Any other process the test needs running (a tray, a display tool); killed at the end.
    QProcess *startHelper(const QString &program, const QStringList &arguments);

private:
    void collect(QProcess *program);
    void removeSystemVObjects();

    QTemporaryDir root;
    QProcessEnvironment env;
    QProcess *emulatorProcess = nullptr;
    QByteArray emulatorOutput;
    std::vector<QProcess *> programs;
    std::vector<QProcess *> helpers;
    QHash<QProcess *, QByteArray> logs;
};
