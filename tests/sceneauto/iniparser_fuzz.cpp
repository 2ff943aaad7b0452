// Fuzz harness: any bytes as an INI file. It must load (an open file always
// does) into a dictionary that keeps its rules, every entry readable through
// the folded-case getters, every field within its limit; the writers run on
// it, and what the INI writer wrote loads back to the same entries. The
// sanitizers watch for overruns and leaks. With clang, run it on a copy of the corpus on a board root of its own:
//   BOARD_ROOT=/tmp/fuzz-root ./sceneauto_iniparser_fuzzer CORPUS_COPY
// and keep the inputs that reach new code in tests/sceneauto/corpus/iniparser.
#include "tests/sceneauto/ini_check.h"

#include <cstdint>

using namespace initest;

namespace {

const char *const kPath = "/dv/iq_config/fuzz.ini";
const char *const kRewritten = "/dv/iq_config/fuzz_dump.ini";

void expect(bool ok, const std::string &what)
{
    if (!ok) {
        fprintf(stderr, "fuzz expectation failed: %s\n", what.c_str());
        abort();
    }
}

void check(const dictionary *d)
{
    const std::string why = broken(d);
    expect(why.empty(), why);
    for (s32 i = 0; i < d->size; i++) {
        const char *key = d->key[i];
        if (!key)
            continue;
        // Section and key of at most 512 characters each, with the colon.
        expect(strlen(key) <= 1025, "key within its limit");
        expect(!d->val[i] || strlen(d->val[i]) <= 512, "value within its limit");
        std::string upper = key;
        for (char &c : upper)
            c = (char)toupper((unsigned char)c);
        expect(iniparser_find_entry(d, upper.c_str()) == 1, "an entry found through any case");
        expect(iniparser_getstring(d, upper.c_str(), nullptr) == d->val[i], "getstring reads the entry");
    }
    for (s32 i = 0; i < d->comment_n; i++)
        expect(!d->comment_text[i] || strlen(d->comment_text[i]) <= 512, "comment within its limit");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    put_file(kPath, std::string((const char *)data, size));
    Dict d = own(iniparser_load(kPath));
    expect(d != nullptr, "a readable file loads");
    check(d.get());
    static FILE *sink = fopen("/dev/null", "w");
    iniparser_dump(d.get(), sink);
    dictionary_dump(d.get(), sink);
    const std::string text = dump_ini(d.get());
    Dict again = load_text(text, kRewritten);
    expect(again != nullptr, "a written file loads");
    check(again.get());
    expect(snapshot(again.get()).entries == snapshot(d.get()).entries, "the same entries after writing");
    return 0;
}
