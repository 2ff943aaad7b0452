// The dictionary against a std::map model over random operations, through
// its growth and past 512 comments; its replace-only and insert-only rules;
// the hash.
#include "sceneauto/dictionary.h"
#include "sceneauto/iniparser.h"
#include "tests/sceneauto/ini_check.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <tuple>

using namespace initest;

namespace {

using Model = std::map<std::string, std::optional<std::string>>;
struct ModelComment {
    u32 owner;
    u8 kind;
    std::string text;
};

// Every model entry readable, nothing else there, the comments in slot order.
void expect_matches(const dictionary *d, const Model &model, const std::vector<ModelComment> &comments)
{
    ASSERT_EQ("", broken(d));
    ASSERT_EQ((s32)model.size(), d->n);
    const char *const absent = "absent";
    for (const auto &[key, value] : model) {
        SCOPED_TRACE(key);
        ASSERT_GE(dictionary_slot(d, key.c_str()), 0);
        if (value)
            ASSERT_STREQ(value->c_str(), dictionary_get(d, key.c_str(), absent));
        else
            ASSERT_EQ(absent, dictionary_get(d, key.c_str(), absent));
    }
    ASSERT_EQ((s32)comments.size(), d->comment_n);
    for (s32 i = 0; i < d->comment_n; i++) {
        ASSERT_EQ(comments[i].owner, d->comment_owner[i]) << i;
        ASSERT_EQ(comments[i].kind, d->comment_kind[i]) << i;
        ASSERT_EQ(comments[i].text, d->comment_text[i] ? d->comment_text[i] : "") << i;
        if (comments[i].text.empty()) {
            ASSERT_EQ(nullptr, d->comment_text[i]);
        }
    }
}

} // namespace

TEST(DictionaryModel, RandomOperationsMatchAMap)
{
    std::mt19937 rng(26);
    auto pick = [&](u32 n) { return (u32)(rng() % n); };
    std::vector<std::string> pool;
    for (int i = 0; i < 3000; i++)
        pool.push_back("s" + std::to_string(i % 13) + ":k" + std::to_string(i));
    auto random_text = [&]() -> std::optional<std::string> {
        if (pick(8) == 0)
            return std::nullopt;
        std::string s(pick(24), ' ');
        for (char &c : s)
            c = (char)(' ' + pick(95));
        return s;
    };

    Dict d = own(dictionary_new(0));
    ASSERT_TRUE(d);
    Model model;
    std::vector<ModelComment> comments;
    for (int step = 0; step < 30000; step++) {
        const std::string &key = pool[pick((u32)pool.size())];
        const std::optional<std::string> value = random_text();
        const char *v = value ? value->c_str() : nullptr;
        const bool has = model.count(key) != 0;
        switch (pick(10)) {
        case 0:
        case 1:
        case 2: // add: insert only
            ASSERT_EQ(has ? -1 : 0, dictionary_add(d.get(), key.c_str(), v));
            if (!has)
                model[key] = value;
            break;
        case 3: // set: replace only
            ASSERT_EQ(has ? 0 : -1, dictionary_set(d.get(), key.c_str(), v));
            if (has)
                model[key] = value;
            break;
        case 4: // modify: either
            ASSERT_EQ(0, dictionary_modify(d.get(), key.c_str(), v));
            model[key] = value;
            break;
        case 5:
            dictionary_unset(d.get(), key.c_str());
            model.erase(key);
            break;
        case 6:
        case 7: { // a comment of the key's section and name, or of the head
            const std::string text = value.value_or("");
            const u8 kind = (u8)(1 + pick(4));
            const bool head = pick(5) == 0;
            const std::string sec = head ? "" : key.substr(0, key.find(':'));
            const std::string name = head ? "" : key.substr(key.find(':') + 1);
            ASSERT_EQ(0, iniparser_add_comment(d.get(), sec.c_str(), name.c_str(), text.c_str(), kind));
            comments.push_back({head ? kCommentHead : dictionary_hash(key.c_str()), kind, text});
            break;
        }
        default: { // lookups, the absent ones too
            const char *got = dictionary_get(d.get(), key.c_str(), "def");
            ASSERT_STREQ(has && model[key] ? model[key]->c_str() : "def", got);
            ASSERT_EQ(has, dictionary_slot(d.get(), key.c_str()) >= 0);
            break;
        }
        }
        if (step % 1000 == 999)
            expect_matches(d.get(), model, comments);
    }
    expect_matches(d.get(), model, comments);
    EXPECT_GE(d->size, 2048) << "the entries grew past two doublings";
    EXPECT_GE(d->comment_size, 4096) << "the comments grew past 512 several times";
}

TEST(Dictionary, ReplaceOnlyAndInsertOnly)
{
    Dict d = own(dictionary_new(10));
    ASSERT_TRUE(d);
    EXPECT_EQ(512, d->size);
    EXPECT_EQ(512, d->comment_size);
    EXPECT_EQ(-1, dictionary_set(d.get(), "a", "1")) << "nothing to replace in an empty dictionary";
    EXPECT_EQ(0, d->n);
    EXPECT_EQ(0, dictionary_add(d.get(), "a", "first"));
    EXPECT_EQ(-1, dictionary_add(d.get(), "a", "second"));
    EXPECT_STREQ("first", dictionary_get(d.get(), "a", nullptr));
    EXPECT_EQ(-1, dictionary_set(d.get(), "b", "1"));
    EXPECT_EQ(-1, dictionary_slot(d.get(), "b"));
    EXPECT_EQ(0, dictionary_modify(d.get(), "b", "1"));
    EXPECT_STREQ("1", dictionary_get(d.get(), "b", nullptr));
    EXPECT_EQ(0, dictionary_set(d.get(), "b", nullptr));
    EXPECT_STREQ("def", dictionary_get(d.get(), "b", "def")) << "a null value reads as the default";
    EXPECT_STREQ("def", dictionary_get(d.get(), "", "def")) << "an empty key finds nothing";
    EXPECT_EQ(0, dictionary_setint(d.get(), "a", -7));
    EXPECT_STREQ("-7", dictionary_get(d.get(), "a", nullptr));
    EXPECT_EQ(0, dictionary_setdouble(d.get(), "a", 0.25));
    EXPECT_STREQ("0.25", dictionary_get(d.get(), "a", nullptr));
    EXPECT_EQ(-1, dictionary_setint(d.get(), "none", 1));
    dictionary_unset(d.get(), "a");
    dictionary_unset(d.get(), "a");
    EXPECT_EQ(1, d->n);
    EXPECT_EQ(0, dictionary_add(d.get(), "c", "x"));
    EXPECT_EQ(0, dictionary_slot(d.get(), "c")) << "a new entry takes the first free slot";

    EXPECT_EQ(-1, dictionary_add(nullptr, "a", "1"));
    EXPECT_EQ(-1, dictionary_add(d.get(), nullptr, "1"));
    EXPECT_EQ(-1, dictionary_modify(nullptr, "a", "1"));
    EXPECT_EQ(-1, dictionary_set(nullptr, "a", "1"));
    EXPECT_STREQ("def", dictionary_get(nullptr, "a", "def"));
    dictionary_unset(nullptr, "a");
    dictionary_del(nullptr);
}

TEST(Dictionary, The513thEntryDoublesTheSlots)
{
    Dict d = own(dictionary_new(0));
    for (int i = 0; i < 512; i++)
        ASSERT_EQ(0, dictionary_add(d.get(), ("k" + std::to_string(i)).c_str(), std::to_string(i).c_str()));
    EXPECT_EQ(512, d->size);
    ASSERT_EQ(0, dictionary_add(d.get(), "k512", "512"));
    EXPECT_EQ(1024, d->size);
    EXPECT_EQ(513, d->n);
    for (int i = 0; i <= 512; i++)
        ASSERT_STREQ(std::to_string(i).c_str(), dictionary_get(d.get(), ("k" + std::to_string(i)).c_str(), nullptr));
}

TEST(Dictionary, NumbersAndCharacters)
{
    Dict d = own(dictionary_new(0));
    struct Case {
        const char *name, *value;
        s32 want_int;
        double want_double;
        char want_char;
    } cases[] = {
        {"decimal", "42", 42, 42, '4'},
        {"around white space", " -3 \t", -3, -3, ' '},
        {"leading zero is decimal", "010", 10, 10, '0'},
        {"hex is not decimal", "0x10", -1, 16, '0'},
        {"fraction", "2.5", -1, 2.5, '2'},
        {"garbage", "abc", -1, -1, 'a'},
        {"trailing garbage", "7 cats", -1, -1, '7'},
        {"empty", "", -1, -1, '\0'},
        {"over the long range", "99999999999999999999", -1, 1e20, '9'},
        {"missing", nullptr, -1, -1, 'z'},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        dictionary_unset(d.get(), "k");
        if (c.value) {
            ASSERT_EQ(0, dictionary_add(d.get(), "k", c.value));
        }
        EXPECT_EQ(c.want_int, dictionary_getint(d.get(), "k", -1));
        EXPECT_DOUBLE_EQ(c.want_double, dictionary_getdouble(d.get(), "k", -1));
        EXPECT_EQ(c.want_char, dictionary_getchar(d.get(), "k", 'z'));
    }
}

TEST(Dictionary, OneAtATimeHash)
{
    // Published values of Jenkins' one-at-a-time hash.
    EXPECT_EQ(0u, dictionary_hash(""));
    EXPECT_EQ(0xca2e9442u, dictionary_hash("a"));
    EXPECT_EQ(0x519e91f5u, dictionary_hash("The quick brown fox jumps over the lazy dog"));
    EXPECT_EQ(0x7d4b7a55u, dictionary_hash("\xe9")) << "bytes count unsigned";
    EXPECT_EQ(0u, dictionary_hash(nullptr));
}

TEST(Dictionary, MemDoubleKeepsAndZeroes)
{
    char *p = static_cast<char *>(malloc(3));
    memcpy(p, "abc", 3);
    char *q = static_cast<char *>(mem_double(p, 3));
    ASSERT_TRUE(q);
    EXPECT_EQ(0, memcmp(q, "abc\0\0\0", 6));
    free(q);
}
