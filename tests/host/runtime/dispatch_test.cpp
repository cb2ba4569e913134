// Classes, objects and messages: construction by argument type, methods of
// every type code reached by object_send, typed calls, forwarding, "get"
// replies and the deferred queue.
#include <string>
#include <vector>

#include "runtime_test_util.h"

namespace {

struct Probe {
    t_object ob;
    t_atom_long last_long;
    double last_float;
    t_symbol* last_sym;
    long last_count;
    int32_t level;  // an attribute
    void* inner;    // forward target
};

std::vector<std::string> g_log;
int g_freed = 0;

std::string join(t_symbol* s, long ac, t_atom* av) {
    std::string line = s->s_name;
    for (long i = 0; i < ac; ++i) {
        char buf[64];
        hox_atom_format(av + i, buf, sizeof buf);
        line += std::string(" ") + buf;
    }
    return line;
}

void m_bang(Probe*) { g_log.push_back("bang"); }
void m_long(Probe* x, t_atom_long v) { x->last_long = v, g_log.push_back("int"); }
void m_float(Probe* x, double* v) { x->last_float = *v, g_log.push_back("float"); }
void m_sym(Probe* x, t_symbol* s) { x->last_sym = s, g_log.push_back("sym"); }
void m_gimme(Probe* x, t_symbol* s, long ac, t_atom* av) {
    x->last_sym = s, x->last_count = ac;
    g_log.push_back("gimme " + join(s, ac, av));
}
long m_direct(Probe* x, long a, long b) {
    g_log.push_back("direct");
    return x->level + a * b;
}
t_hox_err m_typed(Probe*, t_symbol* s, long ac, t_atom* av, t_atom* rv) {
    g_log.push_back("typed " + join(s, ac, av));
    t_atom reply[2] = {long_atom(ac), ac > 0 ? av[0] : sym_atom("none")};
    atom_setobj(rv, atomarray_new(2, reply));
    return HOX_ERR_NONE;
}
void m_deferred(Probe*, t_symbol* s, long ac, t_atom* av) { g_log.push_back("deferred " + join(s, ac, av)); }
void m_usurped(Probe*, t_symbol* s, long ac, t_atom* av) { g_log.push_back("usurped " + join(s, ac, av)); }
void m_dumpout(Probe*, t_symbol* s, long ac, t_atom* av) { g_log.push_back("dumpout " + join(s, ac, av)); }
void* forward_to_inner(Probe* x) { return x->inner; }
void probe_free(Probe*) { ++g_freed; }

t_class* probe_class = nullptr;
t_class* bare_class = nullptr;  // no "anything", no dumpout, forwards to inner

void* probe_new_gimme(t_symbol* s, long ac, t_atom* av) {
    auto* x = static_cast<Probe*>(object_alloc(probe_class));
    x->last_sym = s;
    x->last_count = ac;
    x->last_long = ac > 0 ? atom_getlong(av) : -1;
    return x;
}
void* probe_new_cant(long a, long b) {
    auto* x = static_cast<Probe*>(object_alloc(bare_class));
    x->last_long = a * 100 + b;
    return x;
}

void make_classes() {
    if (probe_class) return;
    probe_class = class_new("dispatch_probe", HOXFN(probe_new_gimme), HOXFN(probe_free), sizeof(Probe), nullptr,
                            A_GIMME, 0);
    class_addmethod(probe_class, HOXFN(m_bang), "bang", A_NOTHING, 0);
    class_addmethod(probe_class, HOXFN(m_long), "int", A_LONG, 0);
    class_addmethod(probe_class, HOXFN(m_float), "float", A_FLOAT, 0);
    class_addmethod(probe_class, HOXFN(m_sym), "name", A_SYM, 0);
    class_addmethod(probe_class, HOXFN(m_gimme), "list", A_GIMME, 0);
    class_addmethod(probe_class, HOXFN(m_direct), "direct", A_CANT, 0);
    class_addmethod(probe_class, HOXFN(m_direct), "open", A_CANT, 0);
    class_addmethod(probe_class, HOXFN(m_typed), "open", A_GIMMEBACK, 0);
    class_addmethod(probe_class, HOXFN(m_deferred), "later", A_DEFER_LOW, 0);
    class_addmethod(probe_class, HOXFN(m_usurped), "latest", A_USURP_LOW, 0);
    class_addmethod(probe_class, HOXFN(m_gimme), "anything", A_GIMME, 0);
    class_addmethod(probe_class, HOXFN(m_dumpout), "dumpout", A_CANT, 0);
    class_addattr(probe_class, offset_attr("level", _vor_sym_long, offsetof(Probe, level)));
    class_register(gensym("box"), probe_class);

    bare_class = class_new("dispatch_bare", HOXFN(probe_new_cant), HOXFN(probe_free), sizeof(Probe), nullptr,
                           A_CANT, 0);
    class_addmethod(bare_class, HOXFN(m_bang), "bang", A_NOTHING, 0);
    class_addmethod(bare_class, HOXFN(m_direct), "secret", A_CANT, 0);
    hox_class_setforward(bare_class, HOXFN(forward_to_inner));
    class_register(gensym("nobox"), bare_class);
}

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override {
        make_classes();
        hox_host_run_queue();
        t_atom args[2] = {long_atom(5), sym_atom("x")};
        x = static_cast<Probe*>(object_new_typed(gensym("box"), gensym("dispatch_probe"), 2, args));
        ASSERT_NE(x, nullptr);
        g_log.clear();
    }
    void TearDown() override {
        object_free(x);
        hox_host_run_queue();
    }
    t_hox_err send(const char* msg, std::vector<t_atom> args = {}) {
        return object_send(x, gensym(msg), static_cast<long>(args.size()), args.empty() ? nullptr : args.data());
    }
    Probe* x = nullptr;
    ConsoleCapture console;
};

}  // namespace

TEST_F(Dispatch, ConstructorsGetArgumentsByTheirType) {
    EXPECT_EQ(x->last_sym, gensym("dispatch_probe"));
    EXPECT_EQ(x->last_count, 2);
    EXPECT_EQ(x->last_long, 5);
    // An A_CANT constructor gets the caller's words.
    auto* z = static_cast<Probe*>(object_new(gensym("nobox"), gensym("dispatch_bare"), 3L, 4L));
    ASSERT_TRUE(z);
    EXPECT_EQ(z->last_long, 304);
    EXPECT_EQ(object_new_typed(gensym("nobox"), gensym("dispatch_bare"), 0, nullptr), nullptr);
    EXPECT_EQ(object_new(gensym("box"), gensym("dispatch_bare")), nullptr);  // wrong namespace
    const int before = g_freed;
    freeobject(z);
    EXPECT_EQ(g_freed, before + 1);
}

TEST_F(Dispatch, EveryMessageTypeReachesItsMethod) {
    EXPECT_EQ(send("bang"), HOX_ERR_NONE);
    EXPECT_EQ(send("int", {float_atom(3.9)}), HOX_ERR_NONE);  // numbers convert
    EXPECT_EQ(x->last_long, 3);
    EXPECT_EQ(send("float", {long_atom(2)}), HOX_ERR_NONE);
    EXPECT_DOUBLE_EQ(x->last_float, 2.0);
    EXPECT_EQ(send("name", {sym_atom("cam")}), HOX_ERR_NONE);
    EXPECT_EQ(x->last_sym, gensym("cam"));
    EXPECT_EQ(send("list", {long_atom(1), sym_atom("b"), float_atom(2.5)}), HOX_ERR_NONE);
    // The typed wrapper, not the A_CANT entry; its reply is freed (the
    // address sanitizer build checks this).
    EXPECT_EQ(send("open", {sym_atom("dev")}), HOX_ERR_NONE);
    EXPECT_EQ(send("mystery", {long_atom(1), long_atom(2)}), HOX_ERR_NONE);
    // Attribute messages set; "get" answers through dumpout; an unknown "get" falls to "anything".
    EXPECT_EQ(send("level", {long_atom(17)}), HOX_ERR_NONE);
    EXPECT_EQ(x->level, 17);
    EXPECT_EQ(send("getlevel"), HOX_ERR_NONE);
    EXPECT_EQ(send("getnothing"), HOX_ERR_NONE);
    EXPECT_EQ(g_log, (std::vector<std::string>{"bang", "int", "float", "sym", "gimme list 1 b 2.5", "typed open dev",
                                               "gimme mystery 1 2", "dumpout level 17", "gimme getnothing"}));
    EXPECT_TRUE(console.lines.empty());
}

TEST_F(Dispatch, WrongArgumentsAndUnknownMessagesReportOneLine) {
    const std::vector<std::pair<const char*, std::vector<t_atom>>> cases = {
        {"bang", {long_atom(1)}}, {"int", {}},           {"int", {sym_atom("x")}}, {"int", {long_atom(1), long_atom(2)}},
        {"float", {sym_atom("x")}}, {"name", {long_atom(1)}}, {"name", {}},         {"level", {sym_atom("high")}},
    };
    for (const auto& [msg, args] : cases) {
        console.lines.clear();
        EXPECT_EQ(send(msg, args), HOX_EROR) << msg;
        ASSERT_EQ(console.lines.size(), 1u) << msg;
        EXPECT_EQ(console.lines[0].text, std::string("bad arguments for message '") + msg + "'");
        EXPECT_EQ(console.lines[0].kind, HOX_CONSOLE_ERROR);
        EXPECT_EQ(console.lines[0].object, x);
    }
    // Without "anything": unknown messages, and direct-call methods, are not reachable.
    auto* b = object_new(gensym("nobox"), gensym("dispatch_bare"), 0L, 0L);
    console.lines.clear();
    EXPECT_EQ(object_send(b, gensym("frobnicate"), 0, nullptr), HOX_EROR);
    EXPECT_EQ(object_send(b, gensym("secret"), 0, nullptr), HOX_EROR);
    ASSERT_EQ(console.lines.size(), 2u);
    EXPECT_EQ(console.lines[0].text, "no method for 'frobnicate'");
    EXPECT_EQ(console.lines[0].object, b);
    EXPECT_EQ(console.lines[1].text, "no method for 'secret'");
    EXPECT_TRUE(g_log.empty());
    object_free(b);
}

TEST_F(Dispatch, DirectAndTypedCalls) {
    x->level = 1;
    EXPECT_EQ(reinterpret_cast<t_word>(object_method(x, gensym("direct"), 6L, 7L)), 43);
    EXPECT_EQ(object_method(x, gensym("nothing_here")), nullptr);
    EXPECT_TRUE(object_hasmethod(x, gensym("later")));
    EXPECT_FALSE(object_hasmethod(x, gensym("level")));
    t_atom arg = sym_atom("dev"), rv{};
    ASSERT_EQ(object_method_typed(x, gensym("open"), 1, &arg, &rv), HOX_ERR_NONE);
    ASSERT_EQ(rv.a_type, A_OBJ);
    long ac = 0;
    t_atom* av = nullptr;
    ASSERT_EQ(object_getvalueof(rv.a_w.w_obj, &ac, &av), HOX_ERR_NONE);
    ASSERT_EQ(ac, 2);
    EXPECT_EQ(atom_getlong(av), 1);
    EXPECT_EQ(atom_getsym(av + 1), gensym("dev"));
    sysmem_freeptr(av);
    object_free(rv.a_w.w_obj);
    EXPECT_EQ(vor_object_method_typed(x, gensym("direct"), 0, nullptr, &rv), HOX_EROR);  // no typed wrapper
}

TEST_F(Dispatch, ForwardingPassesWhatTheClassLacks) {
    auto* outer = static_cast<Probe*>(object_new(gensym("nobox"), gensym("dispatch_bare"), 0L, 0L));
    ASSERT_NE(outer, nullptr);
    EXPECT_EQ(object_send(outer, gensym("bang"), 0, nullptr), HOX_ERR_NONE);  // its own
    outer->inner = x;
    t_atom v = long_atom(9);
    EXPECT_EQ(object_send(outer, gensym("int"), 1, &v), HOX_ERR_NONE);
    EXPECT_EQ(x->last_long, 9);
    EXPECT_EQ(object_send(outer, gensym("level"), 1, &v), HOX_ERR_NONE);
    EXPECT_EQ(object_attr_getlong(outer, gensym("level")), 9);
    EXPECT_EQ(reinterpret_cast<t_word>(object_method(outer, gensym("direct"), 2L, 3L)), 15);
    t_atom rv{};
    EXPECT_EQ(object_method_typed(outer, gensym("open"), 0, nullptr, &rv), HOX_ERR_NONE);
    object_free(rv.a_w.w_obj);
    EXPECT_FALSE(object_hasmethod(outer, gensym("int")));  // forwarding is not having
    // Errors of a forwarded message are reported on the object it was sent to.
    t_atom bad = sym_atom("x");
    EXPECT_EQ(object_send(outer, gensym("int"), 1, &bad), HOX_EROR);
    ASSERT_EQ(console.lines.size(), 1u);
    EXPECT_EQ(console.lines[0].object, outer);
    EXPECT_EQ(g_log, (std::vector<std::string>{"bang", "int", "direct", "typed open"}));
    object_free(outer);
}

TEST_F(Dispatch, DeferredMessagesWaitForTheQueueAndUsurpReplaces) {
    for (const auto& [msg, n] : {std::pair{"later", 1}, {"latest", 1}, {"later", 2}, {"latest", 2}, {"latest", 3}})
        EXPECT_EQ(send(msg, {long_atom(n)}), HOX_ERR_NONE);
    EXPECT_TRUE(g_log.empty());
    EXPECT_EQ(hox_host_run_queue(), 3);
    EXPECT_EQ(g_log, (std::vector<std::string>{"deferred later 1", "usurped latest 3", "deferred later 2"}));
    EXPECT_EQ(hox_host_run_queue(), 0);
}
