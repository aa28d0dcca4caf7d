#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Bytes as the emulator's logs and commands write them.
namespace emu {

// Lower-case hex of the bytes, two digits each, no separators.
std::string hexBytes(const std::vector<std::uint8_t> &bytes);
// Parses hex digits (pairs, optional whitespace between pairs); false on anything else.
bool parseHexBytes(const std::string &text, std::vector<std::uint8_t> &bytes);

} // namespace emu
