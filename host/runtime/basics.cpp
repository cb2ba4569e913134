// Symbols, atoms and memory: the runtime's smallest pieces.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "runtime/runtime.h"

namespace {

// Interned symbols live as long as the process; the table is never torn down
// so that symbols stay valid during static destruction too.
struct SymbolTable {
    std::mutex lock;
    std::unordered_map<std::string, t_symbol*> by_text;
    std::unordered_set<const void*> records;
};

SymbolTable& symbols() {
    static SymbolTable* table = new SymbolTable;
    return *table;
}

// Every block starts with a header holding its size; 16 bytes keep the
// block itself 16-byte aligned, as atoms want.
constexpr std::size_t kHeader = 16;

}  // namespace

namespace hox {

t_symbol* sym(const char* text) { return gensym(text); }

bool is_symbol(const void* p) {
    if (!p) return false;
    SymbolTable& t = symbols();
    std::lock_guard<std::mutex> g(t.lock);
    return t.records.count(p) != 0;
}

}  // namespace hox

t_symbol* gensym(const char* text) {
    if (!text) text = "";
    SymbolTable& t = symbols();
    try {
        std::lock_guard<std::mutex> g(t.lock);
        auto it = t.by_text.find(text);
        if (it != t.by_text.end()) return it->second;
        auto node = t.by_text.emplace(text, nullptr).first;
        // The map's key string never moves, so its text is the symbol's.
        auto* s = new t_symbol{node->first.c_str()};
        node->second = s;
        t.records.insert(s);
        return s;
    } catch (...) {
        return nullptr;
    }
}

const char* str_tr(const char* text) { return text; }

// ---------------------------------------------------------------- atoms

t_hox_err atom_setlong(t_atom* a, t_atom_long v) {
    if (!a) return HOX_EROR;
    a->a_type = A_LONG;
    a->a_w.w_long = v;
    return HOX_ERR_NONE;
}

t_hox_err atom_setfloat(t_atom* a, double v) {
    if (!a) return HOX_EROR;
    a->a_type = A_FLOAT;
    a->a_w.w_float = v;
    return HOX_ERR_NONE;
}

t_hox_err atom_setsym(t_atom* a, t_symbol* s) {
    if (!a) return HOX_EROR;
    a->a_type = A_SYM;
    a->a_w.w_sym = s ? s : gensym("");
    return HOX_ERR_NONE;
}

t_hox_err atom_setobj(t_atom* a, void* o) {
    if (!a) return HOX_EROR;
    a->a_type = A_OBJ;
    a->a_w.w_obj = static_cast<t_object*>(o);
    return HOX_ERR_NONE;
}

t_atom_long atom_getlong(const t_atom* a) {
    if (!a) return 0;
    if (a->a_type == A_LONG) return a->a_w.w_long;
    if (a->a_type == A_FLOAT) {
        double f = a->a_w.w_float;
        // Out-of-range and NaN values would be undefined to convert.
        if (!(f > -9.2e18 && f < 9.2e18)) return 0;
        return static_cast<t_atom_long>(f);
    }
    return 0;
}

t_atom_float atom_getfloat(const t_atom* a) {
    if (!a) return 0;
    if (a->a_type == A_FLOAT) return a->a_w.w_float;
    if (a->a_type == A_LONG) return static_cast<t_atom_float>(a->a_w.w_long);
    return 0;
}

t_symbol* atom_getsym(const t_atom* a) {
    if (a && a->a_type == A_SYM && a->a_w.w_sym) return a->a_w.w_sym;
    return gensym("");
}

void* atom_getobj(const t_atom* a) {
    if (a && a->a_type == A_OBJ) return a->a_w.w_obj;
    return nullptr;
}

t_hox_err atom_alloc(long* ac, t_atom** av, char* alloc) {
    if (!ac || !av) return HOX_EROR;
    if (*av) return HOX_ERR_NONE;
    *av = reinterpret_cast<t_atom*>(sysmem_newptrclear(sizeof(t_atom)));
    if (!*av) {
        *ac = 0;
        return HOX_OMEM;
    }
    *ac = 1;
    if (alloc) *alloc = 1;
    return HOX_ERR_NONE;
}

// ---------------------------------------------------------------- memory

char* sysmem_newptr(long bytes) {
    if (bytes < 0) return nullptr;
    auto* block = static_cast<char*>(std::malloc(kHeader + static_cast<std::size_t>(bytes)));
    if (!block) return nullptr;
    std::memcpy(block, &bytes, sizeof bytes);
    return block + kHeader;
}

char* sysmem_newptrclear(long bytes) {
    char* p = sysmem_newptr(bytes);
    if (p && bytes > 0) std::memset(p, 0, static_cast<std::size_t>(bytes));
    return p;
}

void sysmem_freeptr(void* p) {
    if (!p) return;
    std::free(static_cast<char*>(p) - kHeader);
}

void sysmem_copyptr(const void* src, void* dst, long bytes) {
    if (!src || !dst || bytes <= 0) return;
    std::memmove(dst, src, static_cast<std::size_t>(bytes));
}

long sysmem_ptrsize(void* p) {
    if (!p) return 0;
    long bytes = 0;
    std::memcpy(&bytes, static_cast<char*>(p) - kHeader, sizeof bytes);
    return bytes;
}
