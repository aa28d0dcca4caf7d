#include "emulator/Emulator.h"
