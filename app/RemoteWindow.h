#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class WebRemote;

// "Remote Control...": turns the web remote on and off, picks the address it serves on, shows the
// page's address with its pairing code and the same as a QR code for a phone's camera, and makes a
// new code, which closes every page paired with the old one.
class RemoteWindow : public QWidget
{
    Q_OBJECT

public:
    explicit RemoteWindow(WebRemote &remote, QWidget *parent = nullptr);

    // What the window shows, for the tests: the address text and the QR code's picture.
    QString shownAddress() const;

private:
    void refresh();
    void fillAddresses();

    WebRemote &remote;
    QCheckBox *onSwitch;
    QComboBox *addresses;
    QLabel *address;
    QLabel *qr;
    QPushButton *newCode;
    QLabel *note;
};
