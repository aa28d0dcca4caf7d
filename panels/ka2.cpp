#include "panels/ka2.h"

#include <QtGlobal>

namespace {
// The shared two-input panel translates these in this class's context; listed here for lupdate.
[[maybe_unused]] const char *const kTexts[] = {
    QT_TRANSLATE_NOOP("ka2", "MIC1"),
    QT_TRANSLATE_NOOP("ka2", "MIC2"),
    QT_TRANSLATE_NOOP("ka2", "Gain"),
    QT_TRANSLATE_NOOP("ka2", "DIRECT"),
    QT_TRANSLATE_NOOP("ka2", "SPEAKER"),
    QT_TRANSLATE_NOOP("ka2", "HEADPHONE"),
    QT_TRANSLATE_NOOP("ka2", "Volume"),
    QT_TRANSLATE_NOOP("ka2", "Phone To SP Volume"),
    QT_TRANSLATE_NOOP("ka2", "Phone To HP Volume"),
};
} // namespace

ka2::ka2()
    : DualInputPanel(Model { "ka2", false })
{ }
