#include "module/module_fixture.h"

#include <cstdlib>

std::string atoms_text(long ac, const t_atom* av) {
    std::string text;
    for (long i = 0; i < ac; ++i) {
        char buf[512];
        hox_atom_format(&av[i], buf, sizeof buf);
        if (i) text += ' ';
        text += buf;
    }
    return text;
}

void ModuleTest::SetUpTestSuite() {
    static bool loaded = false;
    if (!loaded) {
        ext_main();
        loaded = true;
    }
}

void ModuleTest::SetUp() {
    hox_host_set_console(
        [](void* ctx, void*, t_hox_console_kind kind, const char* text) {
            static_cast<ModuleTest*>(ctx)->console.push_back(
                std::string(kind == HOX_CONSOLE_ERROR ? "error: " : "post: ") + text);
        },
        this);
    hox_host_set_outlet_sink(
        [](void* ctx, void*, long, bool is_dump, t_symbol* s, long ac, t_atom* av) {
            auto* self = static_cast<ModuleTest*>(ctx);
            std::string line = s->s_name;
            if (ac) line += " " + atoms_text(ac, av);
            (is_dump ? self->dump : self->out).push_back(line);
        },
        this);
}

void ModuleTest::TearDown() {
    for (auto it = boxes_.rbegin(); it != boxes_.rend(); ++it) object_free(*it);
    hox_host_run_queue();
    hox_host_set_console(nullptr, nullptr);
    hox_host_set_outlet_sink(nullptr, nullptr);
}

void* ModuleTest::new_box(const std::string& args) {
    long ac = 0;
    t_atom* av = nullptr;
    char err[128];
    EXPECT_EQ(hox_atoms_parse(args.c_str(), &ac, &av, err, sizeof err), 0) << err;
    void* box = object_new_typed(gensym("box"), gensym("vor.dx.grab"), ac, av);
    sysmem_freeptr(av);
    hox_host_run_queue();
    if (box) boxes_.push_back(box);
    return box;
}

void ModuleTest::send(void* box, const std::string& message) {
    long ac = 0;
    t_atom* av = nullptr;
    char err[128];
    ASSERT_EQ(hox_atoms_parse(message.c_str(), &ac, &av, err, sizeof err), 0) << err;
    ASSERT_GE(ac, 1);
    object_send(box, atom_getsym(&av[0]), ac - 1, av + 1);
    sysmem_freeptr(av);
    hox_host_run_queue();
}

t_grabber* ModuleTest::grabber_of(void* box) { return static_cast<t_grabber*>(hox_vor_obex_vorob_get(box)); }

void* ModuleTest::output_of(void* box) { return hox_vor_mop_getoutput(box, 1); }

t_vor_matrix_info ModuleTest::info_of(void* matrix) {
    t_vor_matrix_info info{};
    vor_object_method(matrix, _vor_sym_getinfo, &info);
    return info;
}

void ModuleTest::forget_box(void* box) { std::erase(boxes_, box); }
