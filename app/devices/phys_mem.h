// Physical memory (controller registers) mapped into the process.
#pragma once

#include <cstdint>

// Maps [phys, phys + len) and returns the address of its first byte; 0 on
// failure or for a length of 0. Overlapping requests share one mapping.
void *memmap(uint32_t phys, uint32_t len);
int memunmap(void *virt);
