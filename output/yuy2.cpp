#include "output/yuy2.h"

void yuy2_to_uyvy(uint8_t* dst, const uint8_t* src, size_t size) {
    size_t i = 0;
    for (; i + 1 < size; i += 2) {
        dst[i] = src[i + 1];
        dst[i + 1] = src[i];
    }
    if (i < size) dst[i] = src[i];  // a stray last byte stays as it is
}
