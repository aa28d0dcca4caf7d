#include "panels/ka1.h"

#include "panels/PanelKit.h"

#include <QtGlobal>

ka1::ka1()
    : SingleInputPanel(Model {
        "ka1",
        MixerStateBlock::Model::KA1,
        /* fullInput */ true,
        /* inputTitle */ QT_TRANSLATE_NOOP("SingleInputPanel", "INPUT"),
        panelkit::kCaptionStyle,
        /* headphoneTitleTranslated */ true,
        /* logsHeadphoneSuccess */ true,
    })
{ }
