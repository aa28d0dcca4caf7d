#include "panels/ka1.h"

#include "panels/PanelKit.h"

#include <QtGlobal>

namespace {
// The shared one-input panel translates these in this class's context; listed here for lupdate.
[[maybe_unused]] const char *const kTexts[] = {
    QT_TRANSLATE_NOOP("ka1", "INPUT"),
    QT_TRANSLATE_NOOP("ka1", "Gain"),
    QT_TRANSLATE_NOOP("ka1", "MIC"),
    QT_TRANSLATE_NOOP("ka1", "INST"),
    QT_TRANSLATE_NOOP("ka1", "DIRECT"),
    QT_TRANSLATE_NOOP("ka1", "HEADPHONE"),
    QT_TRANSLATE_NOOP("ka1", "Volume"),
    QT_TRANSLATE_NOOP("ka1", "Phone To HP Volume"),
};
} // namespace

ka1::ka1()
    : SingleInputPanel(Model {
        "ka1",
        MixerStateBlock::Model::KA1,
        /* fullInput */ true,
        /* inputTitle */ "INPUT",
        panelkit::kCaptionStyle,
        /* headphoneTitleTranslated */ true,
        /* logsHeadphoneSuccess */ true,
    })
{ }
