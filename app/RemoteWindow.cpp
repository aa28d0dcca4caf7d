#include "app/RemoteWindow.h"

#include "app/QrCode.h"
#include "control/WebRemote.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

RemoteWindow::RemoteWindow(WebRemote &webRemote, QWidget *parent)
    : QWidget(parent)
    , remote(webRemote)
    , onSwitch(new QCheckBox(tr("Serve the remote page"), this))
    , addresses(new QComboBox(this))
    , address(new QLabel(this))
    , qr(new QLabel(this))
    , newCode(new QPushButton(tr("New code"), this))
    , note(new QLabel(this))
{
    setWindowTitle(tr("Remote Control"));
    setWindowFlag(Qt::Window);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(onSwitch);
    auto *form = new QFormLayout;
    form->addRow(tr("Address:"), addresses);
    layout->addLayout(form);
    address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    address->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    address->setAccessibleName(tr("Page address"));
    layout->addWidget(address);
    qr->setAlignment(Qt::AlignCenter);
    qr->setAccessibleName(tr("QR code of the page address"));
    layout->addWidget(qr);
    layout->addWidget(newCode);
    note->setWordWrap(true);
    layout->addWidget(note);
    fillAddresses();

    connect(onSwitch, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            remote.turnOn(addresses->currentData().value<QHostAddress>());
        else
            remote.turnOff();
    });
    connect(addresses, &QComboBox::activated, this, [this] {
        if (remote.isOn())
            remote.turnOn(addresses->currentData().value<QHostAddress>());
    });
    connect(newCode, &QPushButton::clicked, this, [this] { remote.newCode(); });
    connect(&remote, &WebRemote::stateChanged, this, &RemoteWindow::refresh);
    refresh();
}

QString RemoteWindow::shownAddress() const
{
    return address->text();
}

void RemoteWindow::fillAddresses()
{
    const QSignalBlocker quiet(addresses);
    addresses->clear();
    for (const QHostAddress &a : WebRemote::candidateAddresses())
        addresses->addItem(a.toString(), QVariant::fromValue(a));
    const int stored = addresses->findText(remote.address().toString());
    if (stored >= 0)
        addresses->setCurrentIndex(stored);
    else if (!remote.address().isNull())
        addresses->addItem(remote.address().toString(), QVariant::fromValue(remote.address()));
}

void RemoteWindow::refresh()
{
    const bool on = remote.isOn();
    {
        const QSignalBlocker quiet(onSwitch);
        onSwitch->setChecked(on);
    }
    const int index = addresses->findText(remote.address().toString());
    if (index >= 0)
        addresses->setCurrentIndex(index);
    newCode->setEnabled(on);
    address->setText(on ? remote.pageAddress() : QString());
    const QImage code = on && remote.codeKnown() ? app::qrCodeImage(remote.pageAddress(), 4) : QImage();
    qr->setPixmap(QPixmap::fromImage(code));
    qr->setVisible(!code.isNull());
    QString text;
    if (!remote.problem().isEmpty())
        text = remote.problem();
    else if (!on)
        text = tr("Off. When on, any phone or tablet on this network that has the code can change every control.");
    else if (!remote.codeKnown())
        text = tr("Pages paired before keep working. The code is kept only as a hash: make a new code to pair "
                  "another phone.");
    else
        text = tr("Scan the code with the phone's camera. Pages open: %1").arg(remote.pageCount());
    note->setText(text);
    adjustSize();
}
