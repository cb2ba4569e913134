// What the fuzz targets share: reading a fuzz input front to back, a
// scratch folder for the files a target makes, and a check that stops the
// run with a message when an expectation fails (libFuzzer then keeps the
// input as a finding).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// For a harness's own loops (filling inputs, checking results): no coverage
// hooks in them, so that libFuzzer's feedback and time go to the code under
// test. The sanitizers still watch them.
#define VORFUZZ_UNTRACED __attribute__((no_sanitize("coverage")))

namespace vorfuzz {

// Reads fixed-size values from the front of the input. Past the end every
// read gives zeros, so any input decodes, and a short one decodes into the
// smallest case.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}

    size_t left() const { return static_cast<size_t>(end_ - p_); }
    bool empty() const { return p_ == end_; }

    uint8_t u8() {
        uint8_t v = 0;
        take(&v, 1);
        return v;
    }
    uint16_t u16() {
        uint16_t v = 0;
        take(&v, 2);
        return v;
    }
    uint32_t u32() {
        uint32_t v = 0;
        take(&v, 4);
        return v;
    }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    uint64_t u64() {
        uint64_t v = 0;
        take(&v, 8);
        return v;
    }
    double f64() {
        double v = 0;
        take(&v, 8);
        return v;
    }
    bool flag() { return (u8() & 1) != 0; }

    // One of `pool` (chosen by a byte), or when the byte is past the pool,
    // a raw value read from the input.
    template <class T, size_t N>
    T pick_or_raw(const T (&pool)[N]) {
        const uint8_t k = u8();
        if (k < N) return pool[k];
        T v{};
        take(&v, sizeof v);
        return v;
    }
    template <class T, size_t N>
    T pick(const T (&pool)[N]) {
        return pool[u8() % N];
    }

    // Up to `n` bytes into `out` (fewer when the input ends); returns how many.
    size_t bytes(void* out, size_t n) {
        const size_t k = n < left() ? n : left();
        if (k) std::memcpy(out, p_, k);
        p_ += k;
        return k;
    }

private:
    void take(void* out, size_t n) {
        const size_t k = bytes(out, n);
        if (k < n) std::memset(static_cast<uint8_t*>(out) + k, 0, n - k);
    }

    const uint8_t* p_;
    const uint8_t* end_;
};

// A folder of our own under the system's temporary folder, made on first
// use and kept for the run.
const std::string& scratch_folder();
// Removes every file in the scratch folder (not the folder).
void clear_scratch_folder();

// Every `every` calls, asks LeakSanitizer for memory nothing refers to any
// more, and fails when there is some (the report above names where it was
// allocated). For targets whose every input interns new symbols: libFuzzer
// would scan the heap after each of their inputs (they allocate more than
// they free), which costs more than the input; scripts/fuzz runs those with
// -detect_leaks=0, and LeakSanitizer looks once more when the run ends.
// Each look scans the whole heap, libFuzzer's growing corpus included, so
// a run that looks too often spends most of its time looking: a leak found
// a few hundred inputs late still names where it was allocated.
void check_leaks_every(unsigned every);

// Prints `what` and aborts: the input that got here is a finding.
[[noreturn]] void fail(const char* target, const std::string& what);

}  // namespace vorfuzz

#define VORFUZZ_CHECK(target, cond, what)                                                    \
    do {                                                                                     \
        if (!(cond)) ::vorfuzz::fail(target, std::string(#cond) + ": " + std::string(what)); \
    } while (0)
