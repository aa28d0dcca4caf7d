#include "panels/ka2.h"

ka2::ka2()
    : DualInputPanel(Model { "ka2", false })
{ }
