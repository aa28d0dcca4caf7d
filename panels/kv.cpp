#include "panels/kv.h"

#include <QtGlobal>

namespace {
// This panel's caption style begins with a blank; its headphone title
// is not translated, and it logs only a failed headphone volume.
const char *const kKvCaptionStyle = " font-size: 12px; color: white;";
} // namespace

kv::kv()
    : SingleInputPanel(Model {
        "kv",
        MixerStateBlock::Model::KV,
        /* fullInput */ false,
        /* inputTitle */ QT_TRANSLATE_NOOP("SingleInputPanel", "MIC"),
        kKvCaptionStyle,
        /* headphoneTitleTranslated */ false,
        /* logsHeadphoneSuccess */ false,
    })
{ }
