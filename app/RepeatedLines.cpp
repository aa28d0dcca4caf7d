#include "app/RepeatedLines.h"

QList<QByteArray> RepeatedLines::add(const QByteArray &stamp, const QByteArray &text, qint64 nowMs)
{
    QList<QByteArray> out;
    if (!group.isEmpty()) {
        if (text == group.at(position)) {
            heldBack.append({ stamp, text });
            if (++position == group.size()) {
                position = 0;
                heldBack.clear();
                ++rounds;
                if (nowMs - since >= kSummaryIntervalMs) {
                    out.append(summary(stamp));
                    rounds = 0;
                    since = nowMs;
                }
            }
            return out;
        }
        breakOff(stamp, out);
    }
    // The shortest group that this line starts again.
    for (int length = 1; length <= qMin<int>(kLongestGroup, recent.size()); ++length) {
        if (recent.at(recent.size() - length) != text)
            continue;
        group = recent.mid(recent.size() - length);
        position = 0;
        rounds = 0;
        since = nowMs;
        // After what a broken-off group wrote.
        return out + add(stamp, text, nowMs);
    }
    out.append(stamp + text);
    written(text);
    return out;
}

QList<QByteArray> RepeatedLines::flush(const QByteArray &stamp)
{
    QList<QByteArray> out;
    breakOff(stamp, out);
    return out;
}

void RepeatedLines::breakOff(const QByteArray &stamp, QList<QByteArray> &out)
{
    if (rounds > 0)
        out.append(summary(stamp));
    for (const auto &line : heldBack) {
        out.append(line.first + line.second);
        written(line.second);
    }
    group.clear();
    heldBack.clear();
    position = 0;
    rounds = 0;
}

void RepeatedLines::written(const QByteArray &text)
{
    recent.append(text);
    if (recent.size() > kLongestGroup)
        recent.removeFirst();
}

QByteArray RepeatedLines::summary(const QByteArray &stamp) const
{
    const QByteArray times = QByteArray::number(rounds) + (rounds == 1 ? " time)" : " times)");
    // The level letter and its space.
    const QByteArray level = stamp + group.first().left(2);
    if (group.size() == 1)
        return level + "(repeated " + times;
    return level + "(last " + QByteArray::number(group.size()) + " lines repeated " + times;
}
