// Reading one cell of a matrix from its description and data, with every
// index checked: the shell's `cell` command.
#pragma once

#include "vorlib.h"

#include <string>
#include <vector>

namespace vorhost {

// The plane values of cell (x, y) as atoms (longs for char and long
// matrices, floats for float32 and float64). False, with a reason, when the
// matrix has no data, fewer than two dimensions, a type it cannot read, a
// layout that does not fit its size, or (x, y) lies outside it.
bool read_cell(const t_vor_matrix_info& info, const void* data, long x, long y, std::vector<t_atom>& planes,
               std::string& why);

}  // namespace vorhost
