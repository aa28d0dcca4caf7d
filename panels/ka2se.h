#pragma once

#include "panels/DualInputPanel.h"

// Panel of the KA2 SE: the KA2's panel with a microphone/instrument switch on each input.
class ka2se : public DualInputPanel
{
    Q_OBJECT

public:
    ka2se();
};
