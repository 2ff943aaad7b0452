// What the INI tests and the loader's fuzz harness share: a file on the
// board loaded from text, a dictionary written to text, its entries and
// comments as values to compare, and the record's rules.
#pragma once

#include "board/board.h"
#include "sceneauto/iniparser.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace initest {

using Dict = std::unique_ptr<dictionary, void (*)(dictionary *)>;
inline Dict own(dictionary *d) { return Dict(d, dictionary_del); }

// Writes `bytes` to the board file `path` (a firmware path).
inline void put_file(const char *path, const std::string &bytes)
{
    const std::filesystem::path host = bd_path(path);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary | std::ios::trunc) << bytes;
}

inline Dict load_text(const std::string &text, const char *path = "/dv/iq_config/test.ini")
{
    put_file(path, text);
    return own(iniparser_load(path));
}

// What a writer produced, through a memory stream.
template <class Write> std::string written(Write write)
{
    char *buf = nullptr;
    size_t len = 0;
    FILE *f = open_memstream(&buf, &len);
    write(f);
    fclose(f);
    std::string s(buf, len);
    free(buf);
    return s;
}

inline std::string dump_ini(const dictionary *d)
{
    return written([d](FILE *f) { iniparser_dump_ini(d, f); });
}

// A value as (has one, text), so that a null value differs from "".
using Value = std::pair<bool, std::string>;
inline Value value_of(const char *v) { return v ? Value{true, v} : Value{false, ""}; }

struct Snapshot {
    std::map<std::string, Value> entries;
    // Per owner, the comments' kinds and texts in slot order.
    std::map<u32, std::vector<std::pair<int, std::string>>> comments;
    bool operator==(const Snapshot &o) const { return entries == o.entries && comments == o.comments; }
};

inline Snapshot snapshot(const dictionary *d)
{
    Snapshot s;
    for (s32 i = 0; i < d->size; i++)
        if (d->key[i])
            s.entries[d->key[i]] = value_of(d->val[i]);
    for (s32 i = 0; i < d->comment_size; i++)
        if (d->comment_kind[i] != kCommentFree)
            s.comments[d->comment_owner[i]].push_back(
                {d->comment_kind[i], d->comment_text[i] ? d->comment_text[i] : ""});
    return s;
}

// The comments of `owner` of one kind, in slot order.
inline std::vector<std::string> comments_of(const dictionary *d, u32 owner, u8 kind)
{
    std::vector<std::string> out;
    for (s32 i = 0; i < d->comment_size; i++)
        if (d->comment_kind[i] == kind && d->comment_owner[i] == owner)
            out.push_back(d->comment_text[i] ? d->comment_text[i] : "");
    return out;
}

// What breaks the record's rules, empty when nothing does: the counts match
// the slots in use, each key once with its hash, free slots empty, kinds
// known, comments in the first slots.
inline std::string broken(const dictionary *d)
{
    if (d->size < 512 || d->comment_size < 512)
        return "fewer than 512 slots";
    s32 used = 0;
    std::set<std::string> keys;
    for (s32 i = 0; i < d->size; i++) {
        if (!d->key[i]) {
            if (d->val[i] || d->hash[i])
                return "a free slot holds a value or hash";
            continue;
        }
        used++;
        if (d->hash[i] != dictionary_hash(d->key[i]))
            return std::string("wrong hash for ") + d->key[i];
        if (!keys.insert(d->key[i]).second)
            return std::string("key twice: ") + d->key[i];
    }
    if (used != d->n)
        return "n is not the slots in use";
    s32 comments = 0;
    for (s32 i = 0; i < d->comment_size; i++) {
        const u8 kind = d->comment_kind[i];
        if (kind > kCommentBlank)
            return "unknown comment kind";
        if (kind == kCommentFree) {
            if (d->comment_text[i])
                return "a free comment slot holds a text";
            continue;
        }
        if (i != comments++)
            return "a free comment slot before a used one";
        if (d->comment_text[i] && !d->comment_text[i][0])
            return "an empty comment text not stored as null";
    }
    if (comments != d->comment_n)
        return "comment_n is not the comment slots in use";
    return "";
}

} // namespace initest
