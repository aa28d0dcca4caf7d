#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QString>

// Who may open the web remote's page: the holder of the pairing code. The code is 128 bits from
// the system's generator, shown once in the Remote Control window and kept only as its SHA-256
// hash, so remote.ini in someone's backup opens nothing. Wrong codes are counted per address: after
// kMaxFailures in kFailureWindowMs that address is refused, even with the right code, until the
// window has passed.
class RemoteAccess
{
public:
    static constexpr int kCodeBytes = 16;
    static constexpr int kMaxFailures = 10;
    static constexpr qint64 kFailureWindowMs = 60000;
    static constexpr int kMaxTracked = 256; // addresses remembered at once

    // A new code: URL-safe Base64 without padding (22 characters).
    static QString makeCode();
    // "sha256:" and the hash in hex, as remote.ini keeps it.
    static QString hashOf(const QString &code);

    void setHash(const QString &storedHash) { hash = storedHash.toLatin1(); }
    QString storedHash() const { return QString::fromLatin1(hash); }
    bool hasCode() const { return !hash.isEmpty(); }
    // Compares the whole hash whatever it holds, so the time taken tells nothing of how much
    // of a guess was right.
    bool matches(const QString &code) const;

    // now is any steady clock in ms.
    bool blocked(const QHostAddress &address, qint64 now) const;
    void failed(const QHostAddress &address, qint64 now);
    void forgetFailures() { failures.clear(); }

private:
    struct Failures
    {
        int count = 0;
        qint64 since = 0;
    };
    QByteArray hash;
    QHash<QString, Failures> failures;
};
