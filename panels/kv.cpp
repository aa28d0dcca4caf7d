#include "panels/kv.h"

#include <QtGlobal>

namespace {
// The shared one-input panel translates these in this class's context; listed here for lupdate.
[[maybe_unused]] const char *const kTexts[] = {
    QT_TRANSLATE_NOOP("kv", "MIC"),
    QT_TRANSLATE_NOOP("kv", "Gain"),
    QT_TRANSLATE_NOOP("kv", "DIRECT"),
    QT_TRANSLATE_NOOP("kv", "Volume"),
};
// This panel's captions have always carried a leading blank in their style; its headphone title
// is not translated, and it logs only a failed headphone volume.
const char *const kKvCaptionStyle = " font-size: 12px; color: white;";
} // namespace

kv::kv()
    : SingleInputPanel(Model {
        "kv",
        MixerStateBlock::Model::KV,
        /* fullInput */ false,
        /* inputTitle */ "MIC",
        kKvCaptionStyle,
        /* headphoneTitleTranslated */ false,
        /* logsHeadphoneSuccess */ false,
    })
{ }
