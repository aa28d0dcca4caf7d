#include "control/RemoteAccess.h"

#include "control/AllowList.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <array>

namespace {

QString key(const QHostAddress &address)
{
    return AllowList::plain(address).toString();
}

} // namespace

QString RemoteAccess::makeCode()
{
    std::array<quint32, (kCodeBytes + 3) / 4> words {};
    QRandomGenerator::system()->fillRange(words.data(), qsizetype(words.size()));
    const QByteArray bytes(reinterpret_cast<const char *>(words.data()), kCodeBytes);
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString RemoteAccess::hashOf(const QString &code)
{
    return QStringLiteral("sha256:")
        + QString::fromLatin1(QCryptographicHash::hash(code.toUtf8(), QCryptographicHash::Sha256).toHex());
}

bool RemoteAccess::matches(const QString &code) const
{
    if (hash.isEmpty() || code.isEmpty())
        return false;
    const QByteArray given = hashOf(code).toLatin1();
    if (given.size() != hash.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < given.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ hash[i]);
    return difference == 0;
}

bool RemoteAccess::blocked(const QHostAddress &address, qint64 now) const
{
    const auto it = failures.constFind(key(address));
    return it != failures.cend() && it->count >= kMaxFailures && now - it->since < kFailureWindowMs;
}

void RemoteAccess::failed(const QHostAddress &address, qint64 now)
{
    // Old entries go first, so a sweep of many addresses cannot grow the table for ever.
    if (failures.size() >= kMaxTracked)
        for (auto it = failures.begin(); it != failures.end();)
            it = now - it->since >= kFailureWindowMs ? failures.erase(it) : std::next(it);
    Failures &f = failures[key(address)];
    if (now - f.since >= kFailureWindowMs)
        f = Failures { 0, now };
    ++f.count;
    if (failures.size() > kMaxTracked)
        failures.remove(key(address)); // full of fresh failures: this address counts no more
}
