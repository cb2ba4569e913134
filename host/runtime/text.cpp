// Text: atoms read from and written as text, and UTF-8 <-> UTF-16.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/runtime.h"

namespace {

enum class Kind { Long, Float, Symbol };

bool digit(char c) { return c >= '0' && c <= '9'; }

// How a bare word reads: an optional minus and digits is a long; a decimal
// number with a point or an exponent is a float; anything else a symbol.
Kind classify(const std::string& w) {
    std::size_t i = 0, n = w.size();
    if (i < n && w[i] == '-') ++i;
    std::size_t int_digits = 0, frac_digits = 0;
    while (i < n && digit(w[i])) ++i, ++int_digits;
    bool point = false, exponent = false;
    if (i < n && w[i] == '.') {
        point = true;
        ++i;
        while (i < n && digit(w[i])) ++i, ++frac_digits;
    }
    if (int_digits + frac_digits == 0) return Kind::Symbol;
    if (i < n && (w[i] == 'e' || w[i] == 'E')) {
        ++i;
        if (i < n && (w[i] == '+' || w[i] == '-')) ++i;
        std::size_t exp_digits = 0;
        while (i < n && digit(w[i])) ++i, ++exp_digits;
        if (exp_digits == 0) return Kind::Symbol;
        exponent = true;
    }
    if (i != n) return Kind::Symbol;
    return point || exponent ? Kind::Float : Kind::Long;
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

void set_error(char* err, long errsize, const char* what) {
    if (err && errsize > 0) std::snprintf(err, static_cast<std::size_t>(errsize), "%s", what);
}

t_atom word_atom(const std::string& w) {
    t_atom a{};
    switch (classify(w)) {
        case Kind::Long: {
            errno = 0;
            long long v = std::strtoll(w.c_str(), nullptr, 10);
            if (errno == ERANGE)  // too long for a long: keep it as a number
                atom_setfloat(&a, std::strtod(w.c_str(), nullptr));
            else
                atom_setlong(&a, v);
            break;
        }
        case Kind::Float:
            atom_setfloat(&a, std::strtod(w.c_str(), nullptr));
            break;
        case Kind::Symbol:
            atom_setsym(&a, gensym(w.c_str()));
            break;
    }
    return a;
}

long put(const std::string& text, char* buf, long size) {
    if (buf && size > 0) {
        std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(buf, text.data(), n);
        buf[n] = '\0';
    }
    return static_cast<long>(text.size());
}

}  // namespace

t_hox_err hox_atoms_parse(const char* text, long* ac, t_atom** av, char* err, long errsize) {
    if (!ac || !av) return HOX_EROR;
    *ac = 0;
    *av = nullptr;
    if (!text) return HOX_ERR_NONE;
    try {
        std::vector<t_atom> atoms;
        const char* p = text;
        for (;;) {
            while (*p && blank(*p)) ++p;
            if (!*p) break;
            if (*p == '"') {
                std::string w;
                ++p;
                while (*p && *p != '"') {
                    if (*p == '\\' && (p[1] == '"' || p[1] == '\\')) ++p;
                    w += *p++;
                }
                if (*p != '"') {
                    set_error(err, errsize, "unterminated quote");
                    return HOX_EROR;
                }
                ++p;
                t_atom a{};
                atom_setsym(&a, gensym(w.c_str()));
                atoms.push_back(a);
            } else {
                const char* start = p;
                while (*p && !blank(*p)) ++p;
                atoms.push_back(word_atom(std::string(start, p)));
            }
        }
        if (atoms.empty()) return HOX_ERR_NONE;
        auto* out = reinterpret_cast<t_atom*>(sysmem_newptr(static_cast<long>(atoms.size() * sizeof(t_atom))));
        if (!out) {
            set_error(err, errsize, "out of memory");
            return HOX_OMEM;
        }
        std::memcpy(out, atoms.data(), atoms.size() * sizeof(t_atom));
        *av = out;
        *ac = static_cast<long>(atoms.size());
        return HOX_ERR_NONE;
    } catch (...) {
        set_error(err, errsize, "out of memory");
        return HOX_OMEM;
    }
}

long hox_atom_format(const t_atom* a, char* buf, long size) {
    if (!a) return put("", buf, size);
    try {
        char num[64];
        switch (a->a_type) {
            case A_LONG:
                std::snprintf(num, sizeof num, "%" PRId64, a->a_w.w_long);
                return put(num, buf, size);
            case A_FLOAT:
                std::snprintf(num, sizeof num, "%g", a->a_w.w_float);
                return put(num, buf, size);
            case A_SYM: {
                std::string s = a->a_w.w_sym ? a->a_w.w_sym->s_name : "";
                bool quote = s.empty() || classify(s) != Kind::Symbol;
                for (char c : s)
                    if (blank(c) || c == '"') quote = true;
                if (!quote) return put(s, buf, size);
                std::string q = "\"";
                for (char c : s) {
                    if (c == '"' || c == '\\') q += '\\';
                    q += c;
                }
                q += '"';
                return put(q, buf, size);
            }
            case A_OBJ:
                return put("<object>", buf, size);
            default:
                return put("<nothing>", buf, size);
        }
    } catch (...) {
        return put("", buf, size);
    }
}

// ---------------------------------------------------------------- charset

char* charset_unicodetoutf8(const t_unichar* s, long len, long* outlen) {
    if (outlen) *outlen = 0;
    if (!s) return nullptr;
    try {
        std::string out;
        for (long i = 0; len < 0 ? s[i] != 0 : i < len; ++i) {
            uint32_t u = static_cast<uint16_t>(s[i]);
            if (u >= 0xD800 && u <= 0xDBFF) {
                bool more = len < 0 ? s[i + 1] != 0 : i + 1 < len;
                uint32_t lo = more ? static_cast<uint16_t>(s[i + 1]) : 0;
                if (lo < 0xDC00 || lo > 0xDFFF) return nullptr;
                u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            } else if (u >= 0xDC00 && u <= 0xDFFF) {
                return nullptr;  // a low surrogate without its high one
            }
            if (u < 0x80) {
                out += static_cast<char>(u);
            } else if (u < 0x800) {
                out += static_cast<char>(0xC0 | (u >> 6));
                out += static_cast<char>(0x80 | (u & 0x3F));
            } else if (u < 0x10000) {
                out += static_cast<char>(0xE0 | (u >> 12));
                out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (u & 0x3F));
            } else {
                out += static_cast<char>(0xF0 | (u >> 18));
                out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
                out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (u & 0x3F));
            }
        }
        char* r = sysmem_newptr(static_cast<long>(out.size() + 1));
        if (!r) return nullptr;
        std::memcpy(r, out.c_str(), out.size() + 1);
        if (outlen) *outlen = static_cast<long>(out.size());
        return r;
    } catch (...) {
        return nullptr;
    }
}

t_unichar* charset_utf8tounicode(const char* s, long* outlen) {
    if (outlen) *outlen = 0;
    if (!s) return nullptr;
    try {
        std::vector<t_unichar> out;
        const auto* p = reinterpret_cast<const unsigned char*>(s);
        while (*p) {
            uint32_t u;
            int extra;
            if (*p < 0x80) {
                u = *p;
                extra = 0;
            } else if ((*p & 0xE0) == 0xC0) {
                u = *p & 0x1F;
                extra = 1;
            } else if ((*p & 0xF0) == 0xE0) {
                u = *p & 0x0F;
                extra = 2;
            } else if ((*p & 0xF8) == 0xF0) {
                u = *p & 0x07;
                extra = 3;
            } else {
                return nullptr;
            }
            ++p;
            for (int k = 0; k < extra; ++k, ++p) {
                if ((*p & 0xC0) != 0x80) return nullptr;  // also stops at the terminator
                u = (u << 6) | (*p & 0x3F);
            }
            static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
            if (u < kMin[extra] || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) return nullptr;
            if (u >= 0x10000) {
                u -= 0x10000;
                out.push_back(static_cast<t_unichar>(0xD800 + (u >> 10)));
                out.push_back(static_cast<t_unichar>(0xDC00 + (u & 0x3FF)));
            } else {
                out.push_back(static_cast<t_unichar>(u));
            }
        }
        auto* r = reinterpret_cast<t_unichar*>(sysmem_newptr(static_cast<long>((out.size() + 1) * sizeof(t_unichar))));
        if (!r) return nullptr;
        if (!out.empty()) std::memcpy(r, out.data(), out.size() * sizeof(t_unichar));
        r[out.size()] = 0;
        if (outlen) *outlen = static_cast<long>(out.size());
        return r;
    } catch (...) {
        return nullptr;
    }
}
