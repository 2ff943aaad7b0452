// The settings text parser under any bytes: the one harness that the corpus
// replay test (settings_file_fuzz_test.cpp, under the sanitizers in every
// test run) and the libFuzzer entry (settings_file_fuzz.cpp) share.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/pref.h"
#include "app/settings_file.h"
#include "board/board.h"

namespace settings_fuzz {

// Words no settings key may write: the versions and UpdateSetDefault (0-12),
// AutoOffwithExternalPowerdisconnected (23) and the flip words (48-50).
inline bool keyless_word(int word) { return word <= 12 || word == 23 || (word >= 48 && word <= 50); }

// The record each input starts from: every setting in range, the keyless
// words marked.
inline const DvSystemParam &start_record()
{
    static const DvSystemParam start = [] {
        DvSystemParam p;
        memset(&p, 0, sizeof p);
        settings_fix_ranges(&p, "fuzz start");
        for (int w = 0; w < (int)(sizeof p / 4); ++w)
            if (keyless_word(w))
                pref_set_word(&p, w, 0x5a5a5a5a + w);
        return p;
    }();
    return start;
}

// Parses `data` as the card's settings file, from the start record and the
// parser at its power-on state. Whatever the bytes, the parse must end, stay
// within its buffers (the sanitizers watch that), leave every setting in
// range, the keyless words alone, the mode one of the three and the clock
// texts terminated. Returns what broke, empty when nothing did.
inline std::string parse_one(const uint8_t *data, size_t size)
{
    if (!app_pref_user)
        app_pref_user = new DvSystemParam();
    const DvSystemParam &start = start_record();
    *app_pref_user = start;
    settings_parser_reset();

    const std::filesystem::path path = bd_path("/mnt/sdcard0/syscfg2.txt");
    std::filesystem::create_directories(path.parent_path());
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return "can't create " + path.string();
    bool written = fwrite(data, 1, size, f) == size;
    written = fclose(f) == 0 && written;
    if (!written)
        return "can't write " + path.string();

    if (fileRead() != 0)
        return "the file was not read";
    DvSystemParam after = *app_pref_user;
    for (int w = 0; w < (int)(sizeof after / 4); ++w)
        if (keyless_word(w) && pref_get_word(&after, w) != pref_get_word(&start, w))
            return "keyless word " + std::to_string(w) + " changed";
    if (curMode < PREF_VIDEO_MODE1 || curMode > PREF_PHOTO_MODE)
        return "mode " + std::to_string(curMode);
    if (!memchr(setDatetime, '\0', sizeof setDatetime))
        return "pending clock text unterminated";
    if (!memchr(after.Datetime, '\0', sizeof after.Datetime))
        return "clock text unterminated";
    if (int fixed = settings_fix_ranges(&after, "fuzz check"))
        return std::to_string(fixed) + " settings out of range";
    return "";
}

} // namespace settings_fuzz
