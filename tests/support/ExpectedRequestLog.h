#pragma once

#include <string>
#include <vector>

namespace testsupport {

// The emulator's request log for one sequence, the same on both systems: on a first handle a
// sample rate of 44100 is set and a device-id read is dropped by a "close" fault; a second handle
// reads the device id; the device is unplugged (the second handle's next read fails unlogged) and
// plugged again; a third handle reads the meters into a buffer of the wrong size (700 bytes).
inline const std::vector<std::string> &connectionSequenceLog()
{
    static const std::vector<std::string> lines = {
        R"({"connection":1,"code":"0xFFDC201C","input":"44ac0000","output":0,"result":"ok"})",
        R"({"connection":1,"code":"0xFFDC2084","input":"","output":4,"result":"closed"})",
        R"({"connection":2,"code":"0xFFDC2084","input":"","output":4,"result":"ok"})",
        R"({"connection":3,"code":"0xFFDC2074","input":"","output":700,"result":"refused"})",
    };
    return lines;
}

} // namespace testsupport
