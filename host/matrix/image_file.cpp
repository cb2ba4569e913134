// PNG export (see image_file.h). libpng's simplified writer is used: it
// reports failures by its result instead of a long jump. Windows builds
// write through the Windows Imaging Component instead (image_file_wic.cpp).
#include "matrix/image_file.h"

#include <cstring>

#if !defined(_WIN32)
#include <png.h>

t_hox_err vor_png_write_rgba(const char* path, int32_t width, int32_t height, const uint8_t* rgba,
                             int64_t rowbytes) {
    if (!path || !*path || !rgba || width < 1 || height < 1 || rowbytes < int64_t(width) * 4) return HOX_EROR;
    if (rowbytes / 4 > INT32_MAX || rowbytes % 4 != 0) return HOX_EROR;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    // The row stride is counted in components (bytes here).
    const int ok = png_image_write_to_file(&image, path, 0, rgba, static_cast<png_int_32>(rowbytes), nullptr);
    png_image_free(&image);
    return ok ? HOX_ERR_NONE : HOX_EROR;
}
#endif

std::string vor_export_path(long ac, const t_atom* av, const char* folder) {
    if (ac < 1 || !av || av[0].a_type != A_SYM || !av[0].a_w.w_sym || !av[0].a_w.w_sym->s_name) return {};
    const std::string name = av[0].a_w.w_sym->s_name;
    if (name.empty()) return {};
    if (name[0] == '/' || !folder || !*folder) return name;
#if defined(_WIN32)
    // "C:\..." and "\\server\..." are absolute too.
    if (name[0] == '\\' || (name.size() > 2 && name[1] == ':' && (name[2] == '\\' || name[2] == '/'))) return name;
    std::string path = folder;
    if (path.back() != '/' && path.back() != '\\') path += '/';
#else
    std::string path = folder;
    if (path.back() != '/') path += '/';
#endif
    return path + name;
}
