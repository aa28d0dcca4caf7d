#include "settings/Settings.h"

#include "device/OrvelinIoControl.h"
#include "device/UsbStatus.h"
#include "settings/LatencyLimit.h"
#include "settings/PipeClients.h"
#include "settings/ThreadSettingsPip.h"
#include "storage/SettingsFile.h"

#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QStringList kBufferSizes = { "48", "64", "96", "128", "192", "256", "512", "1024" };
const QStringList kLatencySizes = { "8", "16", "24", "32" };
const QString kSafeModeDisabled = QStringLiteral("Disabled");
const QString kSafeModeEnabled = QStringLiteral("Enabled");

const char *const kBufferKey = "Audio/BufferSize";
const char *const kLatencyKey = "USB/LatencySize";
const char *const kSafeModeKey = "USB/SlowMode";

constexpr int kStatusPollMs = 1000;

const char *const kStopAudioFailed = "停止音频失败，可能是驱动未正确加载或设备未连接。";
const char *const kRestartAudioFailed = "重新启动音频失败，可能是驱动未正确加载或设备未连接。";
const char *const kNotOnline = "Device is not on line.";

const char *const kLabelStyle = "font-size: 14px; color: #008888;";

QString settingsFilePath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(folder);
    return folder + QStringLiteral("/setting.ini");
}

QLabel *centredLabel(const QString &text, const char *style, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QString::fromLatin1(style));
    return label;
}

} // namespace

Settings::Settings(QWidget *parent)
    : QDialog(parent)
{
    qDebug() << "Settings dialog created.";
    setWindowTitle(QStringLiteral("Settings"));
    setStyleSheet(QStringLiteral("QDialog { background-color: #2c313c; color: white; }"));

    store = storage::openSettingsFile(settingsFilePath(), this);

    layout = new QVBoxLayout(this);
    layout->setAlignment(Qt::AlignCenter);
    layout->setContentsMargins(40, 10, 40, 40);
    const QPixmap icon(QStringLiteral(":/icon/icon.png"));
    if (!icon.isNull())
        setWindowIcon(QIcon(icon));

    layout->addWidget(centredLabel(tr("Settings"), "font-size: 18px; font-weight: bold; color: #00FFFF;", this));

    // Each box is connected only after it is filled, so building the dialog runs no handler.
    layout->addWidget(centredLabel(tr("Buffer Size"), kLabelStyle, this));
    bufferBox = new QComboBox(this);
    bufferBox->setObjectName(QStringLiteral("bufferBox"));
    bufferBox->addItems(kBufferSizes);
    layout->addWidget(bufferBox);
    connect(bufferBox, &QComboBox::currentIndexChanged, this, [this] { onBufferSizeChanged(); });

    layout->addWidget(centredLabel(tr("USB Latency Size"), kLabelStyle, this));
    latencyBox = new QComboBox(this);
    latencyBox->setObjectName(QStringLiteral("latencyBox"));
    latencyBox->addItems(kLatencySizes);
    latencyBox->setCurrentIndex(0);
    layout->addWidget(latencyBox);
    connect(latencyBox, &QComboBox::currentIndexChanged, this, [this] { onLatencyChanged(); });

    layout->addWidget(centredLabel(tr("Safe Mode"), kLabelStyle, this));
    safeModeBox = new QComboBox(this);
    safeModeBox->setObjectName(QStringLiteral("safeModeBox"));
    safeModeBox->addItems({ kSafeModeDisabled, kSafeModeEnabled });
    layout->addWidget(safeModeBox);
    connect(safeModeBox, &QComboBox::currentIndexChanged, this, [this] { onSafeModeChanged(); });

    layout->addSpacing(20);
    auto *okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setStyleSheet(QStringLiteral("background-color: #008888; color: white; font-size: 14px;"));
    layout->addWidget(okButton, 0, Qt::AlignCenter);
    connect(okButton, &QPushButton::clicked, this, [this] { onOkClicked(); });
    layout->addStretch();
    layout->setSpacing(15);

    errorLabel = centredLabel(tr("USB Error"), "font-size: 10px; color: #888888;", this);
    errorLabel->setObjectName(QStringLiteral("errorLabel"));
    layout->addWidget(errorLabel);
    errorLabel->hide();

    startListener();

    status = std::make_unique<UsbStatus>();
    statusTimer = new QTimer(this);
    connect(statusTimer, &QTimer::timeout, this, [this] { pollStatus(); });
    statusTimer->start(kStatusPollMs);
}

Settings::~Settings()
{
    // The listener goes first, so nothing it queues or calls can reach a half-destroyed dialog.
    if (listener) {
        delete listener;
        listener = nullptr;
    }
    statusTimer->stop();
    delete store;
    store = nullptr;
    if (device) {
        device->closeDevice();
        device.reset();
    }
    status.reset();
    qDebug() << "Settings dialog closed and resources cleaned up.";
}

template <typename Operation> bool Settings::withDevice(Operation operation)
{
    // Before the first connectDevice there is no channel at all; that is a failed request.
    return device && operation(*device);
}

bool Settings::connectDevice()
{
    // A new channel each time; the one of an earlier call is closed and released here.
    device = std::make_unique<OrvelinIoControl>();
    online = device->openDevice();
    return online;
}

void Settings::startListener()
{
    listener = new ThreadSettingsPip(this);
    connect(listener, &ThreadSettingsPip::progressUpdated, this, [this](int) { showFromPipe(); });
    listener->setDialog(this);
    listener->start();
}

void Settings::standBy()
{
    // Stopped and joined before the pipe closes, as at the end of the run.
    delete listener;
    listener = nullptr;
    // The start-up restart would start audio and the audio service's monitoring under the other
    // session's panel.
    for (QTimer *timer : findChildren<QTimer *>(QStringLiteral("startupTimer"), Qt::FindDirectChildrenOnly))
        delete timer;
    online = false;
    releaseDevice();
}

void Settings::resume()
{
    if (!listener)
        startListener();
}

void Settings::releaseDevice()
{
    if (device)
        device->closeDevice();
}

bool Settings::holdsDevice() const
{
    return device && device->isOpen();
}

bool Settings::stopMonitor()
{
    return settings::sendAudioServiceCommand(QStringLiteral("STOP_MONITOR"));
}

void Settings::onBufferSizeChanged()
{
    bufferApplied = false;
    const QString text = bufferBox->currentText();
    if (!kBufferSizes.contains(text)) {
        qDebug().noquote() << "未知的音频缓冲区大小选项：" << text;
        return;
    }
    const std::uint32_t requested = text.toUInt();
    qDebug() << "设置音频缓冲区大小为：" << requested << "samples";

    std::uint32_t current = 0;
    const bool read = withDevice([&](OrvelinIoControl &channel) { return channel.getBufferSize(current); });
    qDebug() << "当前音频缓冲区大小：" << current;
    if (!read) {
        qDebug() << "获取音频缓冲区大小失败，可能是驱动未正确加载或设备未连接。";
        return;
    }
    if (requested == current) {
        bufferApplied = true;
        return;
    }

    const std::uint32_t largestLatency = settings::largestUsbLatency(requested);
    qDebug() << "设置USB延迟大小为：" << largestLatency << "Frame";
    std::uint32_t latency = 0;
    if (!withDevice([&](OrvelinIoControl &channel) { return channel.getUsbLatency(latency); })) {
        qDebug() << "获取USB延迟大小失败，可能是驱动未正确加载或设备未连接。";
        return;
    }
    qDebug() << "当前USB延迟大小：" << latency;
    if (latency > largestLatency) {
        const QString lowered = QString::number(largestLatency);
        // The box may already show the lower value while the driver still runs a larger one;
        // the latency must come down before the buffer all the same.
        if (latencyBox->currentText() == lowered)
            onLatencyChanged();
        else
            latencyBox->setCurrentText(lowered);
    }

    applyWithAudioStopped(
        [&] { return withDevice([&](OrvelinIoControl &channel) { return channel.setBufferSize(requested); }); },
        "设置音频缓冲区大小失败，可能是驱动未正确加载或设备未连接。", kBufferKey, text, "音频缓冲区大小设置已保存：",
        [&] {
            bufferApplied = true;
            qDebug() << "音频缓冲区大小设置成功：" << requested << "samples";
        });
}

void Settings::onLatencyChanged()
{
    const QString text = latencyBox->currentText();
    const std::uint32_t requested = kLatencySizes.contains(text) ? text.toUInt() : 8;
    qDebug() << "设置USB延迟大小为：" << requested << "Frame";

    std::uint32_t current = 0;
    if (!withDevice([&](OrvelinIoControl &channel) { return channel.getUsbLatency(current); }))
        current = 0;
    qDebug() << "当前USB延迟大小：" << current;
    if (requested == current)
        return;

    applyWithAudioStopped(
        [&] { return withDevice([&](OrvelinIoControl &channel) { return channel.setUsbLatency(requested); }); },
        "设置USB延迟大小失败，可能是驱动未正确加载或设备未连接。", kLatencyKey, text, "USB延迟大小设置已保存：");
}

void Settings::onSafeModeChanged()
{
    const QString text = safeModeBox->currentText();
    applyWithAudioStopped(
        [&] {
            bool set = false;
            if (text == kSafeModeEnabled) {
                set = withDevice([](OrvelinIoControl &channel) { return channel.enableUsbSlowMode(); });
            } else if (text == kSafeModeDisabled) {
                set = withDevice([](OrvelinIoControl &channel) { return channel.disableUsbSlowMode(); });
            } else {
                qDebug().noquote() << "未知的USB慢速模式选项：" << text;
                return false;
            }
            if (!set)
                qDebug() << "设置USB慢速模式失败，可能是驱动未正确加载或设备未连接。";
            return set;
        },
        nullptr, kSafeModeKey, text, "USB慢速模式设置已保存：");
}

void Settings::restartAfterFailure()
{
    if (!withDevice([](OrvelinIoControl &channel) { return channel.startAudio(); }))
        qDebug() << kRestartAudioFailed;
}

void Settings::applyWithAudioStopped(const std::function<bool()> &change, const char *failureLine, const char *key,
    const QString &text, const char *savedLine, const std::function<void()> &started)
{
    if (!withDevice([](OrvelinIoControl &channel) { return channel.stopAudio(); })) {
        qDebug() << kStopAudioFailed;
        return;
    }
    if (!change()) {
        if (failureLine)
            qDebug() << failureLine;
        restartAfterFailure();
        return;
    }
    if (!withDevice([](OrvelinIoControl &channel) { return channel.startAudio(); })) {
        qDebug() << kRestartAudioFailed;
        return;
    }
    if (started)
        started();
    store->setValue(key, text);
    storage::syncSettings(*store);
    qDebug().noquote() << savedLine << text;
}

void Settings::loadSettings()
{
    // A stored value that is not an item leaves its box, and the driver, as they are.
    latencyBox->setCurrentText(store->value(kLatencyKey, QStringLiteral("8")).toString());
    bufferBox->setCurrentText(store->value(kBufferKey, QStringLiteral("192")).toString());
    safeModeBox->setCurrentText(store->value(kSafeModeKey, kSafeModeDisabled).toString());
    qDebug() << "已从配置文件加载控件状态";
}

void Settings::applyStartupSettings()
{
    settings::sendAudioServiceCommand(QStringLiteral("STOP_MONITOR"));
    loadSettings();
    withDevice([](OrvelinIoControl &channel) { return channel.startAudio(); });

    auto *timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("startupTimer"));
    timer->setSingleShot(true);
    timer->setInterval(startupDelay);
    connect(timer, &QTimer::timeout, this, [this, timer] { onStartupTimer(timer); });
    timer->start();
}

void Settings::onStartupTimer(QTimer *timer)
{
    timer->stop();
    if (!online) {
        qDebug() << kNotOnline;
    } else if (withDevice([](OrvelinIoControl &channel) { return channel.startAudio(); })) {
        settings::sendAudioServiceCommand(QStringLiteral("START_MONITOR"));
    } else {
        qDebug() << kRestartAudioFailed;
    }
    qDebug() << "初始化设置完成";
    // One timer per connection; it goes once it has done its work.
    timer->deleteLater();
}

void Settings::onOkClicked()
{
    hide();
    if (settings::sendAsioReset())
        qDebug() << "设置通知ASIO逻辑";
}

void Settings::pollStatus()
{
    if (!online) {
        qDebug() << kNotOnline;
        return;
    }
    if (!withDevice([this](OrvelinIoControl &channel) { return channel.readUsbStatus(*status); })) {
        qDebug() << "Failed to read meter data from driver.";
        return;
    }
    if (status->usbErrorCount != 0) {
        errorLabel->setText(tr("USB Error Count: %1").arg(status->usbErrorCount));
        errorLabel->show();
    } else {
        errorLabel->hide();
    }
}

void Settings::showFromPipe()
{
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    show();
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
    qDebug() << "Received signal from pipe thread to show settings window.";
}

bool Settings::applyAsioBufferSize(int size)
{
    if (!online) {
        qDebug() << kNotOnline;
        // Not applied, so not to be skipped as already known when the driver repeats it later.
        if (listener)
            listener->forgetBufferSize(static_cast<std::uint32_t>(size));
        return false;
    }
    if (kBufferSizes.contains(QString::number(size))) {
        bufferBox->setCurrentText(QString::number(size));
        qDebug() << "Pannel ASIO Buffer Size changed to:" << size;
        // A size the driver did not take (the device is gone, or the handler failed) must come
        // through again when the ASIO driver repeats it, or the two keep disagreeing.
        if ((!bufferApplied || !holdsDevice()) && listener)
            listener->forgetBufferSize(static_cast<std::uint32_t>(size));
        return true;
    }
    qDebug() << "Invalid ASIO buffer size.";
    return false;
}
