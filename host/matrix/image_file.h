// Writing images as PNG files (through libpng), for the matrices' and
// textures' export_image_surface.
#pragma once

#include <cstdint>
#include <string>

#include "vorlib.h"

// Writes width x height RGBA pixels (4 bytes each, rows `rowbytes` apart,
// top row first) as an 8-bit RGBA PNG at `path`. 0 on success, HOX_EROR when
// the file cannot be written or the arguments make no image.
VORLIB t_hox_err vor_png_write_rgba(const char* path, int32_t width, int32_t height, const uint8_t* rgba,
                                    int64_t rowbytes);

// The file an export writes: the first atom's text, inside `folder` unless it
// is an absolute path. An empty or missing folder leaves a relative name
// relative to the working directory. Empty result when the atoms name no
// file.
std::string vor_export_path(long ac, const t_atom* av, const char* folder);
