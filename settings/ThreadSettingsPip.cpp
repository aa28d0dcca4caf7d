#include "settings/ThreadSettingsPip.h"

#include "platform/PipePort.h"
#include "settings/AsioStatusRecord.h"
#include "settings/PipeServer.h"
#include "settings/Settings.h"

#include <QDebug>
#include <QMetaObject>

#include <cstring>

namespace {
constexpr unsigned long kPauseBetweenMessagesMs = 100;
// Another program may hold the pipe's name (error 5): the name is tried again this often.
constexpr int kCreateRetrySteps = 10;
} // namespace

ThreadSettingsPip::ThreadSettingsPip(QObject *parent)
    : QThread(parent)
    , server(std::make_unique<PipeServer>(platform::kAsioToPanelPipe))
{
    if (!server->create())
        qDebug() << "Failed to create named pipe in ThreadSettingsPip.";
    previousSize = 0;
    qDebug() << "ThreadSettingsPip initialized.";
}

ThreadSettingsPip::~ThreadSettingsPip()
{
    stopListening();
    if (server) {
        server->close();
        server.reset();
    }
}

void ThreadSettingsPip::stopListening()
{
    requestInterruption();
    if (server)
        server->stop();
    wait();
}

void ThreadSettingsPip::forgetBufferSize(std::uint32_t size)
{
    // Only if no newer report has taken its place meanwhile.
    previousSize.compare_exchange_strong(size, 0);
}

void ThreadSettingsPip::run()
{
    std::uint8_t buffer[PipeServer::kBufferSize];
    while (!isInterruptionRequested() && !server->stopped()) {
        if (!server->isOpen()) {
            // Waits a second in short steps, so a stop is not held up.
            for (int step = 0; step < kCreateRetrySteps && !server->stopped() && !isInterruptionRequested(); ++step)
                msleep(kPauseBetweenMessagesMs);
            if (server->stopped() || isInterruptionRequested() || !server->create())
                continue;
        }
        qDebug() << "ThreadSettingsPip is running waiting Asio Info...";
        std::memset(buffer, 0, sizeof buffer);
        std::size_t received = 0;
        if (server->readMessage(buffer, &received))
            handleMessage(buffer, received);
        else if (!server->stopped())
            qDebug() << "No data received from pipe.";
        if (!server->stopped())
            msleep(kPauseBetweenMessagesMs);
    }
}

void ThreadSettingsPip::handleMessage(const std::uint8_t *buffer, std::size_t length)
{
    const AsioStatusRecord record = settings::decodeAsioStatusRecord(buffer, length);
    qDebug() << "Received data from pipe:" << record.fields[0] << record.fields[1] << record.fields[2]
             << record.fields[3] << record.fields[4];

    const AsioStatusAction action = settings::handleAsioStatusRecord(record, previousSize.load());
    currentSize = action.bufferSize;
    // Remembered before the dialog sees the size, so that its refusal can take it back.
    previousSize = action.previousSize;
    if (action.passBufferSize) {
        // Queued, not blocking: the dialog's destructor waits for this thread, so a blocking call
        // could deadlock. The result is not needed here.
        if (Settings *target = dialog) {
            const int size = static_cast<int>(currentSize);
            QMetaObject::invokeMethod(
                target, [target, size] { target->applyAsioBufferSize(size); }, Qt::QueuedConnection);
        }
        qDebug() << "ASIO Buffer Size changed to:" << currentSize;
    }

    if (action.showWindow) {
        qDebug() << "Open Window Signal from ASIO.";
        emit progressUpdated(1);
    }
}
