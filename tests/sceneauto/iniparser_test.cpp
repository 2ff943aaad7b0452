// The INI loader line by line, its getters, the writers' text and the round
// trip load, write, load.
#include "sceneauto/iniparser.h"
#include "sceneauto/strlib.h"
#include "tests/sceneauto/ini_check.h"
#include "tests/support/board_fixture.h"

#include <gmock/gmock.h>
#include <unistd.h>

using namespace initest;
using testing::HasSubstr;

namespace {

constexpr s32 kMissing = -999;
const char *const kCasePath = "/ini/case.ini";

std::string spaces(size_t n) { return std::string(n, ' '); }

class Ini : public BoardTest {};

enum class Get { string, raw, integer, boolean };

const char *get_text(const dictionary *d, const char *key, Get get, std::string *held)
{
    switch (get) {
    case Get::string: return iniparser_getstring(d, key, nullptr);
    case Get::raw: return dictionary_get(d, key, nullptr);
    case Get::integer: *held = std::to_string(iniparser_getint(d, key, kMissing)); return held->c_str();
    case Get::boolean: *held = std::to_string(iniparser_getboolean(d, key, kMissing)); return held->c_str();
    }
    return nullptr;
}

} // namespace

// Each case is lines of a file inside [Main] (or before it) and what one key
// reads as, with the trailing comment its line keeps and what the loader says.
TEST_F(Ini, LinesInsideMain)
{
    const std::string pad = spaces(1017); // "Key" + these + "= v": 1023 characters
    const std::string x512(512, 'x');
    struct Case {
        const char *name;
        std::string lines; // after "[Main]\n"
        const char *key;
        Get get;
        const char *want;              // nullptr: missing (integers and booleans: -999)
        const char *comment = nullptr; // the key line's trailing comment
        const char *message = nullptr; // on standard error
        std::string before = "";       // before "[Main]\n"
    } cases[] = {
        {"plain", "Key = Value\n", "main:key", Get::string, "Value"},
        {"indented, no spaces", "   Key=Value\n", "main:key", Get::string, "Value"},
        {"trailing comment", "Key = Value ; note\n", "main:key", Get::string, "Value", "; note"},
        {"comment right after the value", "Key = Value;note\n", "main:key", Get::string, "Value", ";note"},
        {"double quotes keep ';' and inner spaces", "Key = \" a ; b \" ; note\n", "main:key", Get::string, " a ; b",
         "; note"},
        {"single quotes keep double ones", "Key = 'say \"hi\"'\n", "main:key", Get::string, "say \"hi\""},
        {"empty value", "Key =\n", "main:key", Get::string, ""},
        {"value starting with ';' is a comment", "Key = ; note\n", "main:key", Get::string, "", "; note"},
        {"two double quotes", "Key = \"\"\n", "main:key", Get::string, ""},
        {"two single quotes", "Key = ''\n", "main:key", Get::string, ""},
        {"two quotes before a comment", "Key = \"\" ; c\n", "main:key", Get::string, "", "; c"},
        {"# kept in a value", "Key = a#b # c\n", "main:key", Get::string, "a#b # c"},
        {"# line is a comment", "# Key = 1\n", "main:key", Get::string, nullptr},
        {"no continuation: the backslash stays", "Key = a \\\nb = c\n", "main:key", Get::string, "a \\"},
        {"no continuation: the next line is a key", "Key = a \\\nb = c\n", "main:b", Get::string, "c"},
        {"repeated key keeps the first value", "Key = first\nKey = second\n", "main:key", Get::string, "first"},
        {"repeated section keeps its first keys", "Key = 1\n[Other]\nX = 2\n[MAIN]\nKey = 3\nMore = 4\n",
         "main:key", Get::string, "1"},
        {"repeated section takes new keys", "Key = 1\n[Other]\nX = 2\n[MAIN]\nKey = 3\nMore = 4\n", "main:more",
         Get::string, "4"},
        {"key before any section", "", ":early", Get::string, "1", "; first", nullptr, "Early = 1 ; first\n"},
        {"getstring folds the key's case", "MixedKey = MixedValue\n", "MAIN:MIXEDKEY", Get::string, "MixedValue"},
        {"the raw dictionary does not", "MixedKey = MixedValue\n", "Main:MixedKey", Get::raw, nullptr},
        {"the raw dictionary holds it lower-cased", "MixedKey = MixedValue\n", "main:mixedkey", Get::raw,
         "MixedValue"},
        {"CR LF", "Key = Value\r\n", "main:key", Get::string, "Value"},
        {"CR LF: the comment keeps its CR", "Key = Value ; note\r\n", "main:key", Get::string, "Value", "; note\r"},
        {"CR LF: two quotes", "Key = ''\r\n", "main:key", Get::string, ""},
        {"CR LF: section", "[Second]\r\nKey = 2\r\n", "second:key", Get::string, "2"},
        {"section without its bracket ends with the line", "[Open\r\nKey = 1\n", "open:key", Get::string, "1"},
        {"a line without '=' is no key", "Just words\n", "main:just words", Get::string, nullptr},
        {"1023 characters and a newline", "Key" + pad + "= v\nAfter = 1\n", "main:key", Get::string, "v"},
        {"last line of 1023 characters, no newline", "Key" + pad + "= v", "main:key", Get::string, "v"},
        {"over 1023 characters: dropped", "Key" + pad + "=  v\nAfter = 1\n", "main:key", Get::string, nullptr,
         nullptr, "iniparser: input line too long in /ini/case.ini (2):Key"},
        {"over 1023 characters: the next line reads", "Key" + pad + "=  v\nAfter = 1\n", "main:after",
         Get::string, "1", nullptr, "iniparser: input line too long in /ini/case.ini (2)"},
        {"value over 512 characters is cut", "Key = " + std::string(600, 'x') + "\n", "main:key", Get::string,
         x512.c_str(), nullptr, "iniparser: value over 512 characters cut in /ini/case.ini (2)"},
        {"getint hex", "Key = 0x10\n", "main:key", Get::integer, "16"},
        {"getint octal", "Key = 010\n", "main:key", Get::integer, "8"},
        {"getint negative", "Key = -42\n", "main:key", Get::integer, "-42"},
        {"getint 32-bit word", "Key = 0xFFFFFFFF\n", "main:key", Get::integer, "-1"},
        {"getint over 32 bits", "Key = 0x100000000\n", "main:key", Get::integer, "-999"},
        {"getint garbage", "Key = fast\n", "main:key", Get::integer, "-999"},
        {"getint trailing garbage", "Key = 12ms\n", "main:key", Get::integer, "-999"},
        {"getint of 08 (no octal digit)", "Key = 08\n", "main:key", Get::integer, "-999"},
        {"getint empty", "Key =\n", "main:key", Get::integer, "-999"},
        {"getint missing", "Key = 1\n", "main:none", Get::integer, "-999"},
        {"getboolean False", "Key = False\n", "main:key", Get::boolean, "0"},
        {"getboolean yes", "Key = yes\n", "main:key", Get::boolean, "1"},
        {"getboolean T", "Key = T\n", "main:key", Get::boolean, "1"},
        {"getboolean 1", "Key = 1\n", "main:key", Get::boolean, "1"},
        {"getboolean 0", "Key = 0\n", "main:key", Get::boolean, "0"},
        {"getboolean n", "Key = n\n", "main:key", Get::boolean, "0"},
        {"getboolean maybe", "Key = maybe\n", "main:key", Get::boolean, "-999"},
        {"getboolean empty", "Key =\n", "main:key", Get::boolean, "-999"},
        {"getboolean of a section", "Key = 1\n", "main", Get::boolean, "-999"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        put_file(kCasePath, c.before + "[Main]\n" + c.lines);
        Dict d = own(nullptr);
        const std::string said = testsupport::capture_stderr([&] { d = own(iniparser_load(kCasePath)); });
        ASSERT_TRUE(d);
        EXPECT_EQ("", broken(d.get()));
        std::string held;
        const char *got = get_text(d.get(), c.key, c.get, &held);
        if (c.want)
            EXPECT_STREQ(c.want, got);
        else
            EXPECT_EQ(nullptr, got);
        const std::string owner_name = strlwc(c.key);
        const std::vector<std::string> trailing =
            comments_of(d.get(), dictionary_hash(owner_name.c_str()), kCommentTrailing);
        if (c.comment)
            EXPECT_EQ(std::vector<std::string>{c.comment}, trailing);
        else
            EXPECT_TRUE(trailing.empty());
        if (c.message)
            EXPECT_THAT(said, HasSubstr(c.message));
        else
            EXPECT_EQ("", said);
    }
}

TEST_F(Ini, CommentsBelongToTheLineAbove)
{
    Dict d = load_text("; head\n"
                       "\n"
                       "[Main] ; about main\n"
                       "# under main\n"
                       "Key = 1\n"
                       "    ; indented under key\n"
                       "\n");
    ASSERT_TRUE(d);
    EXPECT_EQ((std::vector<std::string>{"; head\n"}), comments_of(d.get(), kCommentHead, kCommentLine));
    EXPECT_EQ(1u, comments_of(d.get(), kCommentHead, kCommentBlank).size());
    const u32 main = dictionary_hash("main"), key = dictionary_hash("main:key");
    EXPECT_EQ((std::vector<std::string>{"; about main"}), comments_of(d.get(), main, kCommentTrailing));
    EXPECT_EQ((std::vector<std::string>{"# under main\n"}), comments_of(d.get(), main, kCommentLine));
    EXPECT_EQ((std::vector<std::string>{"; indented under key\n"}), comments_of(d.get(), key, kCommentIndented));
    EXPECT_EQ((std::vector<std::string>{""}), comments_of(d.get(), key, kCommentBlank));
    EXPECT_EQ(6, d->comment_n);
}

TEST_F(Ini, UnreadableFilesLoadNothing)
{
    EXPECT_EQ(nullptr, iniparser_load("/ini/missing.ini"));
    EXPECT_EQ(nullptr, iniparser_load(nullptr));
    std::filesystem::create_directories(bd_path("/ini/folder.ini"));
    EXPECT_EQ(nullptr, iniparser_load("/ini/folder.ini")) << "a directory opens but does not read";
    Dict empty = load_text("");
    ASSERT_TRUE(empty);
    EXPECT_EQ(0, empty->n);
    EXPECT_EQ(0, iniparser_getnsec(empty.get()));
}

// The file a dump writes, byte for byte: headers padded to 49 characters,
// key lines in columns, trailing comments on their line, blank lines as CR LF.
TEST_F(Ini, DumpIniText)
{
    const std::string long48(48, 's');
    Dict d = load_text("; head\n"
                       "[Main] ; about\n"
                       "Key = Value ; note\n"
                       "    ; indented\n"
                       "\n"
                       "Quote = 'say \"hi\"'\n"
                       "Both = it's \"so\"\n"
                       "[" + long48 + "]\n"
                       "K = v\n"
                       "; last line without its newline");
    ASSERT_TRUE(d);
    const std::string want = "; head\n"
                             "[main]" + spaces(43) + "; about\n"
                             "key" + spaces(27) + " = \"Value" + spaces(10) + "\"; note\n"
                             + spaces(48) + "; indented\n"
                             "\r\n"
                             "quote" + spaces(25) + " = 'say \"hi\"" + spaces(7) + "'\n"
                             "both" + spaces(26) + " = it's \"so\"" + spaces(6) + "\n"
                             "[" + long48 + "]\n"
                             "k" + spaces(29) + " = \"v" + spaces(14) + "\"\n"
                             "; last line without its newline\n";
    EXPECT_EQ(want, dump_ini(d.get()));
}

TEST_F(Ini, DumpIniWritesToAPipe)
{
    Dict d = load_text("; head\n[Main] ; about\nKey = Value ; note\n\n[Other]\nX = 1 ; x\n");
    ASSERT_TRUE(d);
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    FILE *w = fdopen(fds[1], "w");
    ASSERT_TRUE(w);
    iniparser_dump_ini(d.get(), w);
    fclose(w);
    std::string piped;
    char buf[4096];
    ssize_t got;
    while ((got = read(fds[0], buf, sizeof buf)) > 0)
        piped.append(buf, (size_t)got);
    close(fds[0]);
    EXPECT_EQ(dump_ini(d.get()), piped);
}

// Load, write, load: the same entries and comments.
TEST_F(Ini, LoadDumpLoad)
{
    struct Case {
        const char *name;
        std::string text;
    } cases[] = {
        {"sections, comments and blank lines",
         "; head comment\n"
         "# another\n"
         "\n"
         "[Main] ; the main section\n"
         "; about main\n"
         "Key = Value ; note\n"
         "        ; indented under key\n"
         "\n"
         "Quoted = \"a ; b\" ; c\n"
         "Empty =\n"
         "OnlyComment = ; c\n"
         "Hash = a#b\n"
         "[Second]\r\n"
         "X = 1 ; cr\r\n"
         "\r\n"
         "Y = 'say \"hi\"'\n"
         "Z = it's \"so\"\n"},
        {"keys before the first section", "Early = 1 ; first\n; under early\nLate = 2\n[S]\nK = v\n"},
        {"long section names", "[" + std::string(60, 'a') + "]  ; c\nK = v\n[" + std::string(48, 'b') + "]\nK = w\n"},
        {"no sections", "A = 1\nB = 2 ; c\n; under b\n"},
        {"long fields", "[S]\n" + std::string(500, 'k') + " = " + std::string(500, 'v') + "\n"},
        {"repeated keys and sections", "[S]\nK = 1\n[T]\nK = 2\n[S]\nK = 3\nL = 4\n"},
        {"section names holding ':'", "[A:B]\nK = 1\n[A]\nX = 2\n[:C] ; c\nY = 3\n[D:E]\n"},
        {"lines near the limit", "[S]\n" + std::string(510, 'k') + "=" + std::string(510, 'v') + "\n" +
                                     std::string(500, 'q') + "='a;" + std::string(500, 'b') + "'\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Dict first = load_text(c.text, "/ini/first.ini");
        ASSERT_TRUE(first);
        const std::string text = dump_ini(first.get());
        Dict second = load_text(text, "/ini/second.ini");
        ASSERT_TRUE(second);
        EXPECT_TRUE(snapshot(first.get()) == snapshot(second.get())) << text;
        EXPECT_EQ(text, dump_ini(second.get()));
    }
}

// Trailing comments of a repeated line that would take it past the loader's
// limit go below it, marked as comments: no line is lost on reading back.
TEST_F(Ini, TrailingCommentsThatDoNotFitGoBelow)
{
    const std::string c1(400, 'c'), c2(400, 'd'), c3(400, 'e');
    Dict d = load_text("[S] ; " + c1 + "\n[S] ; " + c2 + "\n[S] " + c3 + "\nK = it's \"x\"\nK = 'y' tail\n");
    ASSERT_TRUE(d);
    const std::string text = dump_ini(d.get());
    EXPECT_EQ("[s]" + spaces(46) + "; " + c1 + "; " + c2 + "\n; " + c3 + "\n" + "k" + spaces(29) + " = it's \"x\"" +
                  spaces(7) + "\n; tail\n",
              text);
    Dict again = load_text(text);
    ASSERT_TRUE(again);
    EXPECT_EQ(snapshot(d.get()).entries, snapshot(again.get()).entries);
}

// A dictionary built by calls, without sections: each entry once; a key
// without a value is a header, which loads back as such.
TEST_F(Ini, WritersWithoutSections)
{
    Dict d = own(dictionary_new(0));
    ASSERT_EQ(0, dictionary_add(d.get(), "a:x", "1"));
    ASSERT_EQ(0, dictionary_add(d.get(), "b:y", nullptr));
    ASSERT_EQ(0, dictionary_add(d.get(), "c:z", "2"));
    const std::string text = dump_ini(d.get());
    EXPECT_EQ("a:x" + spaces(27) + " = \"1" + spaces(14) + "\"\n" + "c:z" + spaces(27) + " = \"2" + spaces(14) + "\"\n" +
                  "[b:y]" + spaces(44) + "\n",
              text);
    Dict again = load_text(text);
    ASSERT_TRUE(again);
    EXPECT_EQ(value_of(nullptr), value_of(dictionary_get(again.get(), "b:y", nullptr)));
    EXPECT_EQ(1, iniparser_find_entry(again.get(), "b:y"));
    EXPECT_STREQ("1", iniparser_getstr(again.get(), ":a:x")) << "read as a key before any section";
    EXPECT_EQ("a:x" + spaces(27) + " = 1" + spaces(14) + "\n" + "c:z" + spaces(27) + " = 2" + spaces(14) + "\n[b:y]\n",
              testsupport::capture_stdout([&] { iniparser_mem_printf(d.get()); }));
    EXPECT_EQ("[a:x]=[1]\n[b:y]=UNDEF\n[c:z]=[2]\n", written([&](FILE *f) { iniparser_dump(d.get(), f); }));
    EXPECT_EQ(spaces(17) + "a:x\t[1]\n" + spaces(17) + "b:y\t[UNDEF]\n" + spaces(17) + "c:z\t[2]\n",
              written([&](FILE *f) { dictionary_dump(d.get(), f); }));
}

TEST_F(Ini, MemPrintfPutsAHeaderOnItsOwnLine)
{
    Dict d = load_text("[Main] ; c\nKey = Value ; note\n");
    ASSERT_TRUE(d);
    EXPECT_EQ("[main]\nkey" + spaces(27) + " = Value" + spaces(10) + "\n",
              testsupport::capture_stdout([&] { iniparser_mem_printf(d.get()); }));
}

TEST_F(Ini, SectionsEntriesAndComments)
{
    Dict d = load_text("[A]\nK = 1\n[B]\n[C]\nX = 2\n");
    ASSERT_TRUE(d);
    EXPECT_EQ(3, iniparser_getnsec(d.get()));
    EXPECT_STREQ("a", iniparser_getsecname(d.get(), 0));
    EXPECT_STREQ("c", iniparser_getsecname(d.get(), 2));
    EXPECT_EQ(nullptr, iniparser_getsecname(d.get(), 3));
    EXPECT_EQ(nullptr, iniparser_getsecname(d.get(), -1));
    EXPECT_EQ(1, iniparser_find_entry(d.get(), "B"));
    EXPECT_EQ(1, iniparser_find_entry(d.get(), "A:K"));
    EXPECT_EQ(0, iniparser_find_entry(d.get(), "a:x"));

    EXPECT_EQ(0, iniparser_setstr(d.get(), "A:K", "new"));
    EXPECT_STREQ("new", iniparser_getstr(d.get(), "a:k"));
    EXPECT_EQ(1, iniparser_setstr(d.get(), "a:none", "x"));
    EXPECT_EQ(0, iniparser_find_entry(d.get(), "a:none"));
    iniparser_unset(d.get(), "C:X");
    EXPECT_EQ(0, iniparser_find_entry(d.get(), "c:x"));

    EXPECT_EQ(0, iniparser_add_entry(d.get(), "b", "y", "3"));
    EXPECT_EQ(1, iniparser_add_entry(d.get(), "b", "y", "4"));
    EXPECT_STREQ("3", iniparser_getstr(d.get(), "b:y"));
    EXPECT_EQ(0, iniparser_add_entry(d.get(), "d", nullptr, nullptr));
    EXPECT_EQ(4, iniparser_getnsec(d.get()));
    EXPECT_EQ(-1, iniparser_add_entry(d.get(), nullptr, "y", "1"));
    EXPECT_EQ(-1, iniparser_add_entry(d.get(), "", nullptr, "1"));
    EXPECT_EQ(-1, iniparser_add_entry(nullptr, "b", "y", "1"));

    EXPECT_EQ(-1, iniparser_add_comment(d.get(), nullptr, "k", "; c", kCommentLine));
    EXPECT_EQ(-1, iniparser_add_comment(d.get(), "a", "k", "; c", kCommentFree));
    EXPECT_EQ(-1, iniparser_add_comment(d.get(), "a", "k", "; c", 5));
    EXPECT_EQ(-1, iniparser_add_comment(nullptr, "a", "k", "; c", kCommentLine));
    EXPECT_EQ(0, iniparser_save_comment(d.get(), stdout, dictionary_hash("a:k")));
    EXPECT_EQ(0, iniparser_add_comment(d.get(), "a", "k", "; trailing", kCommentTrailing));
    EXPECT_EQ(0, iniparser_add_comment(d.get(), "a", "k", "; line\n", kCommentLine));
    EXPECT_EQ(0, iniparser_add_comment(d.get(), "a", "k", "", kCommentBlank));
    EXPECT_EQ("; trailing\n; line\n\r\n", written([&](FILE *f) {
                  EXPECT_EQ(1, iniparser_save_comment(d.get(), f, dictionary_hash("a:k")));
              }));
    EXPECT_EQ("", broken(d.get()));

    EXPECT_EQ(-1, iniparser_getnsec(nullptr));
    EXPECT_STREQ("def", iniparser_getstring(nullptr, "a:k", "def"));
    EXPECT_STREQ("def", iniparser_getstring(d.get(), nullptr, "def"));
    EXPECT_EQ(-1, iniparser_setstr(nullptr, "a:k", "x"));
    EXPECT_EQ(0, iniparser_sec_getNLowLever());
    EXPECT_EQ(0, iniparser_sec_getLowLever());
}

TEST(IniStrings, CopiesAndSkips)
{
    struct Case {
        const char *name;
        char *(*fn)(const char *);
        const char *in, *want;
    } cases[] = {
        {"strlwc", strlwc, "MiXeD 12 \xC9", "mixed 12 \xC9"},
        {"strupc", strupc, "MiXeD 12", "MIXED 12"},
        {"strcrop", strcrop, "  a b \t\r\n", "  a b"},
        {"strstrip", strstrip, "  a b \t\r\n", "a b"},
        {"strstrip of blanks", strstrip, " \t ", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_STREQ(c.want, c.fn(c.in));
        EXPECT_EQ(nullptr, c.fn(nullptr));
    }
    EXPECT_EQ(1024u, strlen(strlwc(std::string(2000, 'A').c_str())));
    const char *s = " \t x";
    EXPECT_EQ(s + 3, strskp(s));
}
