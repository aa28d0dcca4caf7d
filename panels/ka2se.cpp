#include "panels/ka2se.h"

#include <QtGlobal>

namespace {
// The shared two-input panel translates these in this class's context; listed here for lupdate.
[[maybe_unused]] const char *const kTexts[] = {
    QT_TRANSLATE_NOOP("ka2se", "MIC1"),
    QT_TRANSLATE_NOOP("ka2se", "MIC2"),
    QT_TRANSLATE_NOOP("ka2se", "Gain"),
    QT_TRANSLATE_NOOP("ka2se", "MIC"),
    QT_TRANSLATE_NOOP("ka2se", "INST"),
    QT_TRANSLATE_NOOP("ka2se", "DIRECT"),
    QT_TRANSLATE_NOOP("ka2se", "SPEAKER"),
    QT_TRANSLATE_NOOP("ka2se", "HEADPHONE"),
    QT_TRANSLATE_NOOP("ka2se", "Volume"),
    QT_TRANSLATE_NOOP("ka2se", "Phone To SP Volume"),
    QT_TRANSLATE_NOOP("ka2se", "Phone To HP Volume"),
};
} // namespace

ka2se::ka2se()
    : DualInputPanel(Model { "ka2se", true })
{ }
