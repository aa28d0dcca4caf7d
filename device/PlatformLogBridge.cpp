#include "device/PlatformLogBridge.h"

#include "platform/PlatformLog.h"

#include <QDebug>
#include <QString>

#include <mutex>

namespace device {

void installPlatformLogBridge()
{
    static std::once_flag once;
    std::call_once(once, [] {
        platform::setLogSink([](const std::string &line) { qDebug().noquote() << QString::fromStdString(line); });
    });
}

} // namespace device
