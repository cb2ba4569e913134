// Helpers shared by the matrix tests: typed calls and matrix descriptions.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "hoxhost.h"

template <class... A>
t_hox_err call(void* x, const char* m, A... a) {
    return static_cast<t_hox_err>(reinterpret_cast<intptr_t>(vor_object_method(x, gensym(m), a...)));
}
inline t_vor_matrix_info info_of(void* m) {
    t_vor_matrix_info info{};
    EXPECT_EQ(call(m, "getinfo", &info), HOX_ERR_NONE);
    return info;
}
inline uint8_t* data_of(void* m) {
    void* p = nullptr;
    EXPECT_EQ(call(m, "getdata", &p), HOX_ERR_NONE);
    return static_cast<uint8_t*>(p);
}
inline t_vor_matrix_info shape(int32_t w, int32_t h, int32_t planes = 4, const char* type = "char", long flags = 0) {
    t_vor_matrix_info info{};
    vor_matrix_info_default(&info);
    info.type = gensym(type);
    info.dim[0] = w, info.dim[1] = h;
    info.planecount = planes;
    info.flags = flags;
    return info;
}
