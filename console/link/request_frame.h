// Request frames as the console sends them (header in linkserver/link_frame.h).
#pragma once
#include <cstdint>
#include <vector>

#include "common/bytes.h"

namespace lark {

// Commands 1, 2, 23: header only; 3, 7, 9, 10, 15, 16, 17, 26, 32, 33, 34:
// the data from byte 5; every other command: the sub-command at byte 5 and
// the data from byte 6. Empty for a command outside 1..34 or a frame too
// long for its length field.
std::vector<uint8_t> BuildRequestFrame(uint8_t command, uint8_t sub, CBytes data);

// The server search request (command 1 only); empty otherwise.
std::vector<uint8_t> BuildDiscoverFrame(uint8_t command);

}  // namespace lark
