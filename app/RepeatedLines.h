#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QtGlobal>

// Collapses what repeats back to back in the log: one line, or a group of up to four lines that
// comes round again and again (with no device: a failed open, a failed pipe command, and so on,
// every second). The first round is written; later rounds are counted and written as one line
// "(repeated N times)" when something else comes or a minute has passed. A group that breaks
// off half way loses nothing: its lines held back so far are written before the new one.
class RepeatedLines
{
public:
    static constexpr int kLongestGroup = 4;
    static constexpr qint64 kSummaryIntervalMs = 60 * 1000;

    // One line: `stamp` is the time that goes before it in the file, `text` the rest (the level
    // letter and the message), which is what is compared. Returns the whole lines to write now,
    // in order; a count line carries the level letter of its group's first line.
    QList<QByteArray> add(const QByteArray &stamp, const QByteArray &text, qint64 nowMs);
    // Whatever is held back, written at the end of the run.
    QList<QByteArray> flush(const QByteArray &stamp);

private:
    void breakOff(const QByteArray &stamp, QList<QByteArray> &out);
    void written(const QByteArray &text);
    QByteArray summary(const QByteArray &stamp) const;

    QList<QByteArray> recent; // texts last written, the newest last
    QList<QByteArray> group; // the texts coming round, empty while nothing repeats
    QList<QPair<QByteArray, QByteArray>> heldBack; // stamp and text of the round in progress
    int position = 0;
    int rounds = 0;
    qint64 since = 0;
};
