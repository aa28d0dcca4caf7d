#include "settings/PipeServer.h"

#include "device/PlatformLogBridge.h"

#include <QDebug>

#include <utility>

PipeServer::PipeServer(std::string name)
    : port(std::move(name))
{ }

PipeServer::~PipeServer()
{
    close();
}

bool PipeServer::create()
{
    if (!port.create()) {
        const std::uint32_t error = platform::pipeLastError();
        if (error != lastCreateError) {
            qDebug() << "Error: Could not create pipe. Error code:" << error;
            // Access denied: the name is taken, on Windows by the panel of another user's session.
            if (error == platform::PipeError::AccessDenied)
                qDebug() << "The ASIO driver's status pipe is already served by another program, most likely the "
                            "panel of another signed-in user; it is tried again every second.";
        }
        lastCreateError = error;
        return false;
    }
    lastCreateError = 0;
    qDebug() << "Pipe created successfully.";
    return true;
}

bool PipeServer::isOpen() const
{
    return port.isOpen();
}

bool PipeServer::readMessage(std::uint8_t *buffer, std::size_t *received)
{
    if (received)
        *received = 0;
    if (!port.connect()) {
        // A stop is the end of the listener, not an error worth a line.
        if (!port.stopped())
            qDebug() << "Error connecting to pipe. Error code:" << platform::pipeLastError();
        // A client that wrote and left before the wait leaves the instance closing; only a
        // disconnect lets it take the next client.
        port.disconnect();
        return false;
    }
    std::size_t length = 0;
    const bool ok = port.read(buffer, kBufferSize, length);
    if (ok) {
        if (received)
            *received = length;
    } else if (!port.stopped()) {
        qDebug() << "Error reading from pipe. Error code:" << platform::pipeLastError();
    }
    port.disconnect();
    return ok;
}

void PipeServer::stop()
{
    port.stop();
}

bool PipeServer::stopped() const
{
    return port.stopped();
}

void PipeServer::close()
{
    if (!port.isOpen())
        return;
    port.close();
    qDebug() << "Pipe closed.";
}
