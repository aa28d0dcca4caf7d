#pragma once

#include "control/ControlRegistry.h"
#include "tests/support/PanelRig.h"

// A panel of one model on the emulator with its controls followed by a registry, as the remotes
// (OSC, the web page) reach them.
template <typename Panel> class RemoteRig
{
public:
    RemoteRig(std::uint32_t device, const char *model)
        : rig(device)
    {
        registry.follow(&panel.controls(), model, "V1.2");
    }

    PanelRig rig;
    Panel panel;
    ControlRegistry registry;
};
