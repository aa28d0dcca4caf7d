#pragma once

#include <QThread>

#include <atomic>
#include <cstdint>
#include <memory>

class PipeServer;
class Settings;

// Serves the pipe on which the ASIO driver reports its buffer size and asks for the settings
// window. The loop runs on its own thread and reaches the GUI thread only through queued calls.
class ThreadSettingsPip : public QThread
{
    Q_OBJECT

public:
    explicit ThreadSettingsPip(QObject *parent = nullptr);
    // Stops the loop (waking a blocked wait), waits for the thread, then closes the pipe.
    ~ThreadSettingsPip() override;

    // Set before start(); buffer sizes are queued to this dialog's applyAsioBufferSize.
    void setDialog(Settings *settingsDialog) { dialog = settingsDialog; }
    // Ends the loop and waits for it; never terminates the thread. Safe to call more than once.
    void stopListening();
    // The dialog could not take this size (no device yet): it no longer counts as the previous
    // size, so the driver's next report of it is passed on again. Any thread.
    void forgetBufferSize(std::uint32_t size);

signals:
    void progressUpdated(int value);

protected:
    void run() override;

private:
    void handleMessage(const std::uint8_t *buffer, std::size_t length);

    Settings *dialog = nullptr;
    std::unique_ptr<PipeServer> server;
    std::uint32_t currentSize = 0;
    // Also reset from the GUI thread by forgetBufferSize.
    std::atomic<std::uint32_t> previousSize { 0 };
};
