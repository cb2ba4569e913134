// Atoms as text, both ways, and UTF-8 <-> UTF-16.
#include <string>
#include <vector>

#include "runtime_test_util.h"

namespace {

std::vector<t_atom> parse(const std::string& text) {
    long ac = 0;
    t_atom* av = nullptr;
    char err[64] = "";
    EXPECT_EQ(hox_atoms_parse(text.c_str(), &ac, &av, err, sizeof err), HOX_ERR_NONE) << err;
    std::vector<t_atom> out(av, av + ac);
    sysmem_freeptr(av);
    return out;
}

std::string format(const t_atom& a) {
    char buf[256];
    const long n = hox_atom_format(&a, buf, sizeof buf);
    EXPECT_EQ(n, static_cast<long>(std::string(buf).size()));
    return buf;
}

}  // namespace

TEST(AtomsText, ParseReadsNumbersSymbolsAndQuotedWords) {
    struct Word {
        const char* text;
        long type;
        double number;
        const char* symbol;
    };
    const Word words[] = {
        {"-12", A_LONG, -12, nullptr},   {"007", A_LONG, 7, nullptr}, {"2E-2", A_FLOAT, 0.02, nullptr},
        {".5", A_FLOAT, 0.5, nullptr},   {"3.", A_FLOAT, 3, nullptr}, {"1.5x", A_SYM, 0, "1.5x"},
        {"-", A_SYM, 0, "-"},            {"+5", A_SYM, 0, "+5"},      {"1e", A_SYM, 0, "1e"},
        {R"("Frame Rate")", A_SYM, 0, "Frame Rate"}, {R"("")", A_SYM, 0, ""}, {R"("say \"hi\"")", A_SYM, 0, "say \"hi\""},
        {R"("back\\slash")", A_SYM, 0, "back\\slash"},
        {R"("12")", A_SYM, 0, "12"},  // quoted digits stay a symbol
        {R"("a\nb")", A_SYM, 0, "a\\nb"},  // other escapes are kept as written
    };
    std::string line = "  ";
    for (const Word& w : words) line += std::string(w.text) + " \t";
    const std::vector<t_atom> v = parse(line);
    ASSERT_EQ(v.size(), std::size(words)) << line;
    for (std::size_t i = 0; i < v.size(); ++i) {
        EXPECT_EQ(v[i].a_type, words[i].type) << words[i].text;
        if (words[i].symbol) {
            EXPECT_EQ(atom_getsym(&v[i]), gensym(words[i].symbol)) << words[i].text;
        } else {
            EXPECT_DOUBLE_EQ(atom_getfloat(&v[i]), words[i].number) << words[i].text;
        }
    }

    long ac = 3;
    t_atom stale;
    t_atom* av = &stale;
    EXPECT_EQ(hox_atoms_parse("   ", &ac, &av, nullptr, 0), HOX_ERR_NONE);
    EXPECT_EQ(ac, 0);
    EXPECT_EQ(av, nullptr);
    char err[64] = "";
    EXPECT_NE(hox_atoms_parse("one \"two three", &ac, &av, err, sizeof err), HOX_ERR_NONE);
    EXPECT_NE(std::string(err), "");
    EXPECT_EQ(av, nullptr);
}

TEST(AtomsText, FormatQuotesWhatWouldNotReadBackAndTruncatesLikeSnprintf) {
    const std::pair<t_atom, const char*> cases[] = {
        {long_atom(-42), "-42"},           {float_atom(0.5), "0.5"},   {float_atom(1e20), "1e+20"},
        {float_atom(2.0), "2"},            {sym_atom("argb"), "argb"}, {sym_atom(""), "\"\""},
        {sym_atom("Virtual Camera"), "\"Virtual Camera\""},            {sym_atom("12"), "\"12\""},
        {sym_atom("-1.5e3"), "\"-1.5e3\""}, {sym_atom("1.5x"), "1.5x"}, {sym_atom("a\"b"), "\"a\\\"b\""},
        {sym_atom("c:\\x y"), "\"c:\\\\x y\""},
    };
    for (const auto& [atom, text] : cases) EXPECT_EQ(format(atom), text);

    t_atom a = sym_atom("Virtual Camera");
    char small[6];
    EXPECT_EQ(hox_atom_format(&a, small, sizeof small), 16);
    EXPECT_STREQ(small, "\"Virt");
    EXPECT_EQ(hox_atom_format(&a, nullptr, 0), 16);
}

TEST(Charset, RoundTripsIncludingSurrogatePairs) {
    const char* utf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xA5z";  // A é € 🎥 z
    long units = 0, bytes = 0;
    t_unichar* wide = charset_utf8tounicode(utf8, &units);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(std::vector<t_unichar>(wide, wide + units + 1),
              (std::vector<t_unichar>{u'A', 0x00E9, 0x20AC, 0xD83C, 0xDFA5, u'z', 0}));
    char* back = charset_unicodetoutf8(wide, -1, &bytes);
    EXPECT_STREQ(back, utf8);
    EXPECT_EQ(bytes, 11);
    sysmem_freeptr(back);
    back = charset_unicodetoutf8(wide, 2, &bytes);  // an explicit length stops early
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
    const t_unichar pair[] = {0xD83C, 0xDFA5};
    EXPECT_EQ(charset_unicodetoutf8(lone_high, -1, nullptr), nullptr);
    EXPECT_EQ(charset_unicodetoutf8(lone_low, -1, nullptr), nullptr);
    EXPECT_EQ(charset_unicodetoutf8(pair, 1, nullptr), nullptr);  // the length splits the pair
    EXPECT_EQ(charset_unicodetoutf8(nullptr, -1, nullptr), nullptr);
    // Cut short, overlong, an encoded surrogate, beyond U+10FFFF, a stray continuation byte.
    for (const char* bad : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80"})
        EXPECT_EQ(charset_utf8tounicode(bad, nullptr), nullptr) << bad;
    EXPECT_EQ(charset_utf8tounicode(nullptr, nullptr), nullptr);
}
