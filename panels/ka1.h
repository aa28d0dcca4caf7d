#pragma once

#include "panels/SingleInputPanel.h"

// Panel of the KA1: one input with gain, instrument, pad, phantom and direct switches; a
// headphone with volume, mute and dim; the phone input's level into the headphone.
class ka1 : public SingleInputPanel
{
    Q_OBJECT

public:
    ka1();
};
