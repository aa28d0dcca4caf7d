#include "app/MainWindow.h"

#include "device/OrvelinIoControl.h"
#include "panels/ka1.h"
#include "panels/ka2.h"
#include "panels/ka2se.h"
#include "panels/kv.h"
#include "settings/Settings.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QLabel>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

namespace {

struct BuiltPanel
{
    QWidget *widget;
    ControlTable *controls;
};

struct Model
{
    std::uint32_t code;
    const char *name;
    const char *titlePrefix;
    const char *addedLine; // nullptr: the model logs nothing when its panel is added
    BuiltPanel (*createPanel)();
};

template <typename Panel> BuiltPanel create()
{
    auto *panel = new Panel();
    return { panel, &panel->controls() };
}

const Model kModels[] = {
    { 1, "KA1", "Orvelin KA1 - FW: ", "Adding ka1 widget to layout.", &create<ka1> },
    { 2, "KA2", "Orvelin KA2 - FW: ", "Adding ka2 widget to layout.", &create<ka2> },
    { 18, "KA2 SE", "Orvelin KA2 SE - FW: ", nullptr, &create<ka2se> },
    { 15, "KV", "Orvelin KV - FW: ", "Adding kv widget to layout.", &create<kv> },
};

const Model *findModel(std::int32_t code)
{
    for (const Model &model : kModels) {
        if (static_cast<std::int32_t>(model.code) == code)
            return &model;
    }
    return nullptr;
}

const char *const kStatusStyle = "font-size: 12px; color: white;";

// Every user of the driver owns its channel; this one lives for one detection step.
struct ProbeChannel
{
    OrvelinIoControl channel;
    ~ProbeChannel() { channel.closeDevice(); }
};

} // namespace

MainWindow::MainWindow()
    : QMainWindow(nullptr)
{
    setCentralWidget(new QWidget(this));
    setWindowFlags(Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    detectionTimer = new QTimer(this);
    connect(detectionTimer, &QTimer::timeout, this, &MainWindow::detectDevice);
    detectionTimer->setInterval(1000);
    presenceTimer = new QTimer(this);
    connect(presenceTimer, &QTimer::timeout, this, &MainWindow::checkPresence);
    presenceTimer->setInterval(400);

    setWindowTitle(QStringLiteral("Orvelin Driver"));
    setStyleSheet(QStringLiteral("QMainWindow { background-color: #2c313c; }"));
    const QPixmap icon(QStringLiteral(":/icon/icon.png"));
    if (!icon.isNull())
        setWindowIcon(QIcon(icon));

    baseLayout = new QVBoxLayout(centralWidget());
    baseLayout->setAlignment(Qt::AlignCenter);
    statusLabel = new QLabel(tr("No Device Connect!"), this);
    statusLabel->setStyleSheet(QLatin1String(kStatusStyle));
    baseLayout->addWidget(statusLabel);

    detectionTimer->start();
}

MainWindow::~MainWindow()
{
    if (presenceChannel) {
        presenceChannel->closeDevice();
        delete presenceChannel;
        presenceChannel = nullptr;
    }
}

void MainWindow::clearLayout()
{
    emit panelCleared();
    // Every panel comes after this, with the window holding the focus itself: else the window would
    // hand it to its first control when it becomes active, shown by Windows' focus frame and taking
    // keys before the first Tab. A control of a leaving panel does not pass it on either.
    setFocus(Qt::OtherFocusReason);
    while (QLayoutItem *item = baseLayout->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            // Deleted by the event loop once this step is over; hidden now so it is not painted
            // in the meantime.
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
}

void MainWindow::showStatus(const QString &text)
{
    statusLabel = new QLabel(text, this);
    statusLabel->setStyleSheet(QLatin1String(kStatusStyle));
    baseLayout->addWidget(statusLabel);
    fitToContent(statusLabel);
}

void MainWindow::fitToContent(QWidget *added)
{
    // A top-level layout only ever grows the window; a KA1 that follows a KA2 would sit in the
    // KA2's width. A widget added to a shown window would only be shown by the next event loop
    // pass, and until then the layout leaves it out; the main window's layout caches its size
    // until its next layout request. Both are brought up to date now.
    added->show();
    layout()->invalidate();
    adjustSize();
}

void MainWindow::renewPresenceChannel()
{
    if (presenceChannel) {
        presenceChannel->closeDevice();
        delete presenceChannel;
    }
    presenceChannel = new OrvelinIoControl();
    // A failed open shows up as failed reads in the presence check.
    presenceChannel->openDevice();
    presenceTimer->start();
}

void MainWindow::setDrivesDevice(bool drives)
{
    if (drives == !away)
        return;
    away = !drives;
    if (drives) {
        if (settings)
            settings->resume();
        detectionTimer->start();
        return;
    }
    detectionTimer->stop();
    presenceTimer->stop();
    if (presenceChannel) {
        presenceChannel->closeDevice();
        delete presenceChannel;
        presenceChannel = nullptr;
    }
    if (settings)
        settings->standBy();
    devicePid = 0;
    pidErrorCount = 0;
    clearLayout();
    setWindowTitle(QStringLiteral("Orvelin Driver"));
    showStatus(tr("No Device Connect!"));
}

void MainWindow::detectDevice()
{
    if (away)
        return;
    auto probe = std::make_unique<ProbeChannel>();
    if (!probe->channel.openDevice()) {
        if (settings)
            settings->stopMonitor();
        qDebug() << "Failed to connect to driver.";
        return;
    }

    std::uint32_t pid = 0;
    if (probe->channel.getDevicePid(pid))
        devicePid = static_cast<std::int32_t>(pid);
    qDebug() << "Device PID:" << devicePid;
    if (devicePid == 0)
        return;

    clearLayout();
    const Model *model = findModel(devicePid);
    if (!model) {
        qDebug() << "Unknown device PID:" << devicePid;
        showStatus(QString::fromUtf8("未知设备，请检查连接！"));
        return;
    }

    if (!settings || !settings->connectDevice()) {
        qDebug() << "Failed to connect to driver in settings window.";
        renewPresenceChannel();
        return;
    }

    settings->applyStartupSettings();
    const BuiltPanel built = model->createPanel();
    QWidget *panel = built.widget;
    panel->setParent(this);
    baseLayout->addWidget(panel);
    if (model->addedLine)
        qDebug() << model->addedLine;
    fitToContent(panel);
    update();

    std::uint8_t firmware[10] = {};
    if (!probe->channel.getFirmwareVersion(firmware, 10)) {
        qDebug() << "Failed to get firmware version.";
        showStatus(QString::fromUtf8("获取固件版本失败，请检查连接！"));
        return;
    }

    // Each version byte is one character of the title, whatever its value.
    QString version;
    for (std::uint8_t byte : firmware)
        version += QChar(byte);
    setWindowTitle(QString::fromLatin1(model->titlePrefix) + version);
    emit panelBuilt(built.controls, QString::fromLatin1(model->name), version);

    qDebug() << "Device found with PID:" << devicePid;
    detectionTimer->stop();
    // Failures before the device was found say nothing about it. The path where the settings
    // dialog cannot connect renews the channel every second and must keep counting, or its
    // failed reads could never add up to a teardown.
    pidErrorCount = 0;
    renewPresenceChannel();
}

void MainWindow::checkPresence()
{
    if (away)
        return;
    std::uint32_t pid = 0;
    if (presenceChannel && presenceChannel->getDevicePid(pid)) {
        devicePid = static_cast<std::int32_t>(pid);
        pidErrorCount = 0;
        return;
    }
    ++pidErrorCount;
    qDebug() << "Error reading device PID from driver, error count:" << pidErrorCount;
    if (pidErrorCount < 3)
        return;

    presenceTimer->stop();
    if (presenceChannel) {
        presenceChannel->closeDevice();
        delete presenceChannel;
        presenceChannel = nullptr;
    }
    qDebug() << "Meter driver handle deleted.";
    if (settings)
        settings->releaseDevice();
    devicePid = 0;
    clearLayout();
    qDebug() << "Cleared all widgets from base layout.";
    detectionTimer->start();
    showStatus(tr("声卡未连接！"));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        hide();
        event->ignore();
        return;
    }
    // Without a tray nothing could bring the window back, so closing it ends the program
    // through the normal teardown.
    event->accept();
    // Not quit(): it would ask an open settings dialog to close first and could be refused.
    QCoreApplication::exit(0);
}
