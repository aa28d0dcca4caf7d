#pragma once

#include <QString>

#include <vector>

// The controls a script can name, per panel class ("ka1", "kv", "ka2", "ka2se"), in the order the
// panel restores them at start-up. Each row ties the stable name to the widget (by object name),
// its INI key and the texts of its label.
namespace controltable {

struct Row
{
    const char *name; // "headphone.mute"
    const char *objectName; // "headphoneMuteButton"
    const char *key; // "Button/HeadphoneMuteIsChecked"
    const char *section; // the column's title, translated in the panel's context
    const char *caption; // a knob's caption, translated; nullptr: a switch, labelled by its own text
};

// Empty for a class that is not a panel.
const std::vector<Row> &rows(const QString &panelClass);

// "KA1", "KV", "KA2", "KA2 SE"; empty for a class that is not a panel.
QString modelName(const QString &panelClass);

} // namespace controltable
