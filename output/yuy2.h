// YUY2 (Y0 U Y1 V) into UYVY order (U Y0 V Y1) while copying a frame: the
// two bytes of every 16-bit unit swap places; a stray last byte of an odd
// size is copied as it is. Runs the fastest swap kernel this CPU has
// (output/uyvy_kernels.h).
#pragma once

#include <cstddef>
#include <cstdint>

void yuy2_to_uyvy(uint8_t* dst, const uint8_t* src, size_t size);
