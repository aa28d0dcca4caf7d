#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

class QSettings;

// Who may reach a remote control that knows no users (UDP carries none): the addresses and
// networks an Allow= line of remote.ini names, as "127.0.0.1, 192.168.1.0/24, ::1". Without the
// line, or with no usable entry in it, only the loopback may send.
class AllowList
{
public:
    AllowList(); // the loopback only

    // Entries apart by commas or spaces: an address, a network ADDRESS/BITS or "localhost". An
    // entry that is none of them is left out and added to rejected.
    static AllowList parse(const QString &text, QStringList *rejected = nullptr);
    // The key's value as QSettings reads it (a comma-separated INI value comes as a list).
    static AllowList read(const QSettings &settings, const QString &key, QStringList *rejected = nullptr);

    bool allows(const QHostAddress &address) const;
    // Whether the file named who may send, rather than the loopback being taken by default.
    bool named() const { return given; }
    QString text() const; // "127.0.0.0/8, ::1/128"

    // 0.0.0.0 and ::, which listen on every interface: only with a named list.
    static bool everyInterface(const QHostAddress &address);
    // An IPv4 address as itself, also when it arrives as ::ffff:a.b.c.d on a dual-stack socket.
    static QHostAddress plain(const QHostAddress &address);

private:
    std::vector<std::pair<QHostAddress, int>> networks;
    bool given = false;
};
