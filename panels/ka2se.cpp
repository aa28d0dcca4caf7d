#include "panels/ka2se.h"

ka2se::ka2se()
    : DualInputPanel(Model { "ka2se", true })
{ }
