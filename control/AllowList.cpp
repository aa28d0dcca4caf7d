#include "control/AllowList.h"

#include <QRegularExpression>
#include <QSettings>

namespace {

using Network = std::pair<QHostAddress, int>;

std::vector<Network> loopback()
{
    return { { QHostAddress(QStringLiteral("127.0.0.0")), 8 }, { QHostAddress::LocalHostIPv6, 128 } };
}

// One entry as a network; prefix -1 when it is none. "10.1" would read as 10.0.0.1, so an IPv4
// address is taken only with its four parts.
Network network(const QString &entry)
{
    if (entry.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return { QHostAddress(), 0 };
    if (entry.contains(QLatin1Char('/'))) {
        const Network subnet = QHostAddress::parseSubnet(entry);
        return subnet.first.isNull() ? Network { QHostAddress(), -1 } : subnet;
    }
    QHostAddress address;
    if (!address.setAddress(entry) || !address.scopeId().isEmpty())
        return { QHostAddress(), -1 };
    if (address.protocol() == QAbstractSocket::IPv4Protocol)
        return { address, entry.count(QLatin1Char('.')) == 3 ? 32 : -1 };
    return { address, 128 };
}

} // namespace

AllowList::AllowList()
    : networks(loopback())
{ }

AllowList AllowList::parse(const QString &text, QStringList *rejected)
{
    AllowList list;
    std::vector<Network> named;
    static const QRegularExpression apart(QStringLiteral("[,\\s]+"));
    for (const QString &entry : text.split(apart, Qt::SkipEmptyParts)) {
        const Network found = network(entry);
        if (found.second < 0) {
            if (rejected)
                rejected->append(entry);
        } else if (found.first.isNull()) {
            const std::vector<Network> local = loopback();
            named.insert(named.end(), local.begin(), local.end());
        } else {
            named.push_back(found);
        }
    }
    if (!named.empty()) {
        list.networks = named;
        list.given = true;
    }
    return list;
}

AllowList AllowList::read(const QSettings &settings, const QString &key, QStringList *rejected)
{
    const QVariant value = settings.value(key);
    return parse(
        value.userType() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(',')) : value.toString(),
        rejected);
}

bool AllowList::allows(const QHostAddress &address) const
{
    const QHostAddress sender = plain(address);
    for (const Network &n : networks)
        if (sender.isInSubnet(n.first, n.second))
            return true;
    return false;
}

QString AllowList::text() const
{
    QStringList parts;
    for (const Network &n : networks)
        parts << QStringLiteral("%1/%2").arg(n.first.toString()).arg(n.second);
    return parts.join(QLatin1String(", "));
}

bool AllowList::everyInterface(const QHostAddress &address)
{
    return address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6 || address == QHostAddress::Any;
}

QHostAddress AllowList::plain(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}
