#pragma once

#include "panels/DualInputPanel.h"

// Panel of the KA2: two inputs, speaker and headphone outputs, the phone input into both.
class ka2 : public DualInputPanel
{
    Q_OBJECT

public:
    ka2();
};
