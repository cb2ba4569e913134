// The cell loop behind `fillplane` for char matrices: one byte of every
// cell set to a value.
#pragma once

#include <cstdint>

#include "copy.h"
#include "kernels.h"
#include "vorlib.h"

// Byte `plane` (0..planecount-1) of every cell of `v` becomes `value`; no
// other byte changes. The view must fit its buffer (vor_mx_view_fits). Rows
// of packed four-byte cells go through the fill kernel of level `kernel`,
// which writes the other three bytes of each cell back as they were read.
VORLIB void vor_mx_fill_plane(const vor_mx_view& v, int32_t plane, uint8_t value,
                              vor_mx_kernel kernel = vor_mx_kernel::automatic);
