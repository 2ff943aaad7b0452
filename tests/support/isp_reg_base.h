// The ISP's register window, written out as the hardware's map has it rather
// than taken from the firmware's header: the tests address registers by their
// offsets in the map, so a wrong name in the firmware cannot hide itself.
#pragma once

#include <cstdint>

namespace testsupport {

constexpr uint32_t H = 0x205A0000;

} // namespace testsupport
