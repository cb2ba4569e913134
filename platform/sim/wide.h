// UTF-16 text helpers of the in-process platform.
#pragma once

#include <string>
#include <string_view>

#include "dshow_platform.h"

namespace vorsim {

std::string to_utf8(std::u16string_view text);
std::u16string from_utf8(std::string_view text);
// Null-terminated wide string (null pointer: empty).
std::u16string_view wide_view(const WCHAR* text);
// Copies text into a fixed array, truncated to fit with its terminator.
void copy_wide(std::u16string_view text, WCHAR* dst, size_t capacity);
// A task-memory copy for out-parameters (null when out of memory).
WCHAR* task_mem_wide(std::u16string_view text);

}  // namespace vorsim
