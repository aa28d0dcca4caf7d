#pragma once

#include "panels/SingleInputPanel.h"

// Panel of the KV: one input with gain and direct monitoring, a headphone with volume, mute
// and dim. The phone input is fixed at unity by the initial mixer cells.
class kv : public SingleInputPanel
{
    Q_OBJECT

public:
    kv();
};
