// Atoms as text, both ways, and UTF-8 <-> UTF-16.
#include <string>
#include <vector>

#include "runtime_test_util.h"

namespace {

std::vector<t_atom> parse(const char* text) {
    long ac = 0;
    t_atom* av = nullptr;
    char err[64] = "";
    EXPECT_EQ(hox_atoms_parse(text, &ac, &av, err, sizeof err), HOX_ERR_NONE) << err;
    std::vector<t_atom> out(av, av + ac);
    sysmem_freeptr(av);
    return out;
}

std::string format(const t_atom& a) {
    char buf[256];
    long n = hox_atom_format(&a, buf, sizeof buf);
    EXPECT_EQ(n, static_cast<long>(std::string(buf).size()));
    return buf;
}

}  // namespace

TEST(AtomsParse, NumbersAndSymbols) {
    auto v = parse("  -12 1.5 1e3 1.5x - . 007 -0.25 +5 1e 2E-2\t.5 3.");
    ASSERT_EQ(v.size(), 13u);
    EXPECT_EQ(v[0].a_type, A_LONG);
    EXPECT_EQ(atom_getlong(&v[0]), -12);
    EXPECT_EQ(v[1].a_type, A_FLOAT);
    EXPECT_DOUBLE_EQ(atom_getfloat(&v[1]), 1.5);
    EXPECT_EQ(v[2].a_type, A_FLOAT);
    EXPECT_DOUBLE_EQ(atom_getfloat(&v[2]), 1000.0);
    EXPECT_EQ(atom_getsym(&v[3]), gensym("1.5x"));
    EXPECT_EQ(atom_getsym(&v[4]), gensym("-"));
    EXPECT_EQ(atom_getsym(&v[5]), gensym("."));
    EXPECT_EQ(v[6].a_type, A_LONG);
    EXPECT_EQ(atom_getlong(&v[6]), 7);
    EXPECT_DOUBLE_EQ(atom_getfloat(&v[7]), -0.25);
    EXPECT_EQ(atom_getsym(&v[8]), gensym("+5"));  // only a minus may lead a number
    EXPECT_EQ(atom_getsym(&v[9]), gensym("1e"));
    EXPECT_EQ(v[10].a_type, A_FLOAT);
    EXPECT_DOUBLE_EQ(atom_getfloat(&v[10]), 0.02);
    EXPECT_DOUBLE_EQ(atom_getfloat(&v[11]), 0.5);
    EXPECT_EQ(v[12].a_type, A_FLOAT);
    EXPECT_DOUBLE_EQ(atom_getfloat(&v[12]), 3.0);
}

TEST(AtomsParse, QuotesMakeOneSymbolWithEscapes) {
    auto v = parse(R"("Frame Rate" "" "say \"hi\"" "back\\slash" "12" "a\nb")");
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(atom_getsym(&v[0]), gensym("Frame Rate"));
    EXPECT_EQ(v[1].a_type, A_SYM);
    EXPECT_EQ(atom_getsym(&v[1]), gensym(""));
    EXPECT_EQ(atom_getsym(&v[2]), gensym("say \"hi\""));
    EXPECT_EQ(atom_getsym(&v[3]), gensym("back\\slash"));
    EXPECT_EQ(v[4].a_type, A_SYM);  // quoted digits stay a symbol
    EXPECT_EQ(atom_getsym(&v[4]), gensym("12"));
    EXPECT_EQ(atom_getsym(&v[5]), gensym("a\\nb"));  // other escapes are kept as written
}

TEST(AtomsParse, EmptyTextAndUnterminatedQuote) {
    long ac = 3;
    t_atom* av = reinterpret_cast<t_atom*>(&ac);
    EXPECT_EQ(hox_atoms_parse("   ", &ac, &av, nullptr, 0), HOX_ERR_NONE);
    EXPECT_EQ(ac, 0);
    EXPECT_EQ(av, nullptr);
    char err[64] = "";
    EXPECT_NE(hox_atoms_parse("one \"two three", &ac, &av, err, sizeof err), HOX_ERR_NONE);
    EXPECT_NE(std::string(err), "");
    EXPECT_EQ(av, nullptr);
}

TEST(AtomsFormat, PrintsAsTheShellDoes) {
    EXPECT_EQ(format(long_atom(-42)), "-42");
    EXPECT_EQ(format(float_atom(0.5)), "0.5");
    EXPECT_EQ(format(float_atom(1e20)), "1e+20");
    EXPECT_EQ(format(float_atom(2.0)), "2");
    EXPECT_EQ(format(sym_atom("argb")), "argb");
    EXPECT_EQ(format(sym_atom("")), "\"\"");
    EXPECT_EQ(format(sym_atom("Virtual Camera")), "\"Virtual Camera\"");
    EXPECT_EQ(format(sym_atom("12")), "\"12\"");
    EXPECT_EQ(format(sym_atom("-1.5e3")), "\"-1.5e3\"");
    EXPECT_EQ(format(sym_atom("1.5x")), "1.5x");
    EXPECT_EQ(format(sym_atom("a\"b")), "\"a\\\"b\"");
    EXPECT_EQ(format(sym_atom("c:\\x y")), "\"c:\\\\x y\"");
}

TEST(AtomsFormat, TruncatesLikeSnprintf) {
    t_atom a = sym_atom("Virtual Camera");
    char small[6];
    EXPECT_EQ(hox_atom_format(&a, small, sizeof small), 16);
    EXPECT_STREQ(small, "\"Virt");
    EXPECT_EQ(hox_atom_format(&a, nullptr, 0), 16);
}

TEST(AtomsFormat, RoundTripsThroughParse) {
    const std::vector<t_atom> atoms = {long_atom(0),           long_atom(-9000000000LL), float_atom(-0.125),
                                       sym_atom(""),            sym_atom("two words"),    sym_atom("\"quoted\""),
                                       sym_atom("back\\slash"), sym_atom("1e3"),          sym_atom("-7"),
                                       sym_atom("tab\there")};
    std::string line;
    for (const t_atom& a : atoms) line += format(a) + " ";
    auto back = parse(line.c_str());
    ASSERT_EQ(back.size(), atoms.size()) << line;
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        EXPECT_EQ(back[i].a_type, atoms[i].a_type) << i << ": " << line;
        EXPECT_EQ(format(back[i]), format(atoms[i]));
    }
}

TEST(Charset, RoundTripsIncludingSurrogatePairs) {
    const char* utf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xA5z";  // A é € 🎥 z
    long units = 0;
    t_unichar* wide = charset_utf8tounicode(utf8, &units);
    ASSERT_NE(wide, nullptr);
    ASSERT_EQ(units, 6);
    EXPECT_EQ(wide[0], u'A');
    EXPECT_EQ(wide[1], 0x00E9);
    EXPECT_EQ(wide[2], 0x20AC);
    EXPECT_EQ(wide[3], 0xD83C);
    EXPECT_EQ(wide[4], 0xDFA5);
    EXPECT_EQ(wide[5], u'z');
    EXPECT_EQ(wide[6], 0);

    long bytes = 0;
    char* back = charset_unicodetoutf8(wide, -1, &bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back, utf8);
    EXPECT_EQ(bytes, 11);
    sysmem_freeptr(back);

    // An explicit length stops early, even inside the text.
    back = charset_unicodetoutf8(wide, 2, &bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back, "A\xC3\xA9");
    EXPECT_EQ(bytes, 3);
    sysmem_freeptr(back);
    sysmem_freeptr(wide);

    t_unichar* empty = charset_utf8tounicode("", &units);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(units, 0);
    EXPECT_EQ(empty[0], 0);
    sysmem_freeptr(empty);
}

TEST(Charset, InvalidInputGivesNull) {
    const t_unichar lone_high[] = {u'a', 0xD800, u'b', 0};
    const t_unichar lone_low[] = {0xDC00, 0};
    const t_unichar pair_cut[] = {0xD83C, 0xDFA5};
    EXPECT_EQ(charset_unicodetoutf8(lone_high, -1, nullptr), nullptr);
    EXPECT_EQ(charset_unicodetoutf8(lone_low, -1, nullptr), nullptr);
    EXPECT_EQ(charset_unicodetoutf8(pair_cut, 1, nullptr), nullptr);  // the length splits the pair
    EXPECT_EQ(charset_unicodetoutf8(nullptr, -1, nullptr), nullptr);

    EXPECT_EQ(charset_utf8tounicode("\xC3", nullptr), nullptr);              // cut short
    EXPECT_EQ(charset_utf8tounicode("\xC0\xAF", nullptr), nullptr);          // overlong
    EXPECT_EQ(charset_utf8tounicode("\xED\xA0\x80", nullptr), nullptr);      // an encoded surrogate
    EXPECT_EQ(charset_utf8tounicode("\xF4\x90\x80\x80", nullptr), nullptr);  // beyond U+10FFFF
    EXPECT_EQ(charset_utf8tounicode("\x80", nullptr), nullptr);
    EXPECT_EQ(charset_utf8tounicode(nullptr, nullptr), nullptr);
}
