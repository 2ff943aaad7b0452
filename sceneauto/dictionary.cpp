// The string dictionary under the INI parser: unordered slots found by hash
// and key, arrays doubled when full.
#include "sceneauto/dictionary.h"

#include "sceneauto/strlib.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr s32 kMinSlots = 512;

// Doubles one array of `count` elements in place; false (array kept) when
// memory runs out.
template <class T>
bool double_array(T *&array, s32 count)
{
    void *grown = mem_double(array, (size_t)count * sizeof(T));
    if (!grown)
        return false;
    array = static_cast<T *>(grown);
    return true;
}

// The entry arrays at twice their size. An array already doubled when a
// later one fails stays valid: the size grows only when all three have.
bool grow_entries(dictionary *d)
{
    if (d->size > INT32_MAX / 2)
        return false;
    if (!double_array(d->val, d->size) || !double_array(d->key, d->size) || !double_array(d->hash, d->size))
        return false;
    d->size *= 2;
    return true;
}

} // namespace

bool dictionary_grow_comments(dictionary *d)
{
    if (d->comment_size > INT32_MAX / 2)
        return false;
    if (!double_array(d->comment_text, d->comment_size) || !double_array(d->comment_owner, d->comment_size) ||
        !double_array(d->comment_kind, d->comment_size))
        return false;
    d->comment_size *= 2;
    return true;
}

namespace {

// A private copy, or null for null; `ok` false when memory runs out.
char *copy_of(const char *s, bool *ok)
{
    if (!s)
        return nullptr;
    char *c = strdup(s);
    if (!c)
        *ok = false;
    return c;
}

// strtol/strtod over the whole text, white space around the number allowed.
template <class T, class Parse>
bool whole_number(const char *s, Parse parse, T *out)
{
    if (!s)
        return false;
    char *end;
    errno = 0;
    T v = parse(s, &end);
    if (end == s || errno == ERANGE)
        return false;
    if (*strskp(end))
        return false;
    *out = v;
    return true;
}

} // namespace

bool dictionary_whole_int(const char *s, int base, s32 *out)
{
    long long v;
    if (!whole_number<long long>(s, [base](const char *t, char **e) { return strtoll(t, e, base); }, &v))
        return false;
    // Register words are written in hex: the upper half of u32 is their pattern.
    if (v < INT32_MIN || v > (long long)UINT32_MAX)
        return false;
    *out = (s32)(u32)v;
    return true;
}

bool dictionary_whole_double(const char *s, double *out)
{
    return whole_number<double>(s, [](const char *t, char **e) { return strtod(t, e); }, out);
}

u32 dictionary_hash(const char *key)
{
    if (!key)
        return 0;
    u32 h = 0;
    for (const unsigned char *p = (const unsigned char *)key; *p; p++) {
        h += *p;
        h += h << 10;
        h ^= h >> 6;
    }
    h += h << 3;
    h ^= h >> 11;
    h += h << 15;
    return h;
}

void *mem_double(void *ptr, size_t size)
{
    if (size > SIZE_MAX / 2)
        return nullptr;
    void *grown = calloc(2 * size + (size == 0), 1);
    if (!grown)
        return nullptr;
    if (ptr && size)
        memcpy(grown, ptr, size);
    free(ptr);
    return grown;
}

dictionary *dictionary_new(s32 size)
{
    if (size < kMinSlots)
        size = kMinSlots;
    dictionary *d = static_cast<dictionary *>(calloc(1, sizeof(dictionary)));
    if (!d)
        return nullptr;
    d->size = d->comment_size = size;
    d->val = static_cast<char **>(calloc(size, sizeof(char *)));
    d->key = static_cast<char **>(calloc(size, sizeof(char *)));
    d->hash = static_cast<u32 *>(calloc(size, sizeof(u32)));
    d->comment_text = static_cast<char **>(calloc(size, sizeof(char *)));
    d->comment_owner = static_cast<u32 *>(calloc(size, sizeof(u32)));
    d->comment_kind = static_cast<u8 *>(calloc(size, sizeof(u8)));
    if (!d->val || !d->key || !d->hash || !d->comment_text || !d->comment_owner || !d->comment_kind) {
        dictionary_del(d);
        return nullptr;
    }
    return d;
}

void dictionary_del(dictionary *d)
{
    if (!d)
        return;
    for (s32 i = 0; i < d->size; i++) {
        if (d->key)
            free(d->key[i]);
        if (d->val)
            free(d->val[i]);
    }
    for (s32 i = 0; d->comment_text && i < d->comment_size; i++)
        free(d->comment_text[i]);
    free(d->val);
    free(d->key);
    free(d->hash);
    free(d->comment_text);
    free(d->comment_owner);
    free(d->comment_kind);
    free(d);
}

s32 dictionary_slot(const dictionary *d, const char *key)
{
    if (!d || !key)
        return -1;
    const u32 h = dictionary_hash(key);
    for (s32 i = 0; i < d->size; i++)
        if (d->key[i] && d->hash[i] == h && strcmp(d->key[i], key) == 0)
            return i;
    return -1;
}

const char *dictionary_get(const dictionary *d, const char *key, const char *def)
{
    const s32 i = dictionary_slot(d, key);
    return i >= 0 && d->val[i] ? d->val[i] : def;
}

char dictionary_getchar(const dictionary *d, const char *key, char def)
{
    const char *v = dictionary_get(d, key, nullptr);
    return v ? v[0] : def;
}

s32 dictionary_getint(const dictionary *d, const char *key, s32 def)
{
    s32 v;
    return dictionary_whole_int(dictionary_get(d, key, nullptr), 10, &v) ? v : def;
}

double dictionary_getdouble(const dictionary *d, const char *key, double def)
{
    double v;
    return dictionary_whole_double(dictionary_get(d, key, nullptr), &v) ? v : def;
}

s32 dictionary_set(dictionary *d, const char *key, const char *val)
{
    const s32 i = dictionary_slot(d, key);
    if (i < 0)
        return -1;
    bool ok = true;
    char *copy = copy_of(val, &ok);
    if (!ok)
        return -1;
    free(d->val[i]);
    d->val[i] = copy;
    return 0;
}

s32 dictionary_add(dictionary *d, const char *key, const char *val)
{
    if (!d || !key || dictionary_slot(d, key) >= 0)
        return -1;
    if (d->n == d->size && !grow_entries(d))
        return -1;
    s32 i = 0;
    while (d->key[i])
        i++;
    bool ok = true;
    char *k = copy_of(key, &ok), *v = copy_of(val, &ok);
    if (!ok) {
        free(k);
        free(v);
        return -1;
    }
    d->key[i] = k;
    d->val[i] = v;
    d->hash[i] = dictionary_hash(key);
    d->n++;
    return 0;
}

s32 dictionary_modify(dictionary *d, const char *key, const char *val)
{
    if (!d || !key)
        return -1;
    return dictionary_slot(d, key) >= 0 ? dictionary_set(d, key, val) : dictionary_add(d, key, val);
}

void dictionary_unset(dictionary *d, const char *key)
{
    const s32 i = dictionary_slot(d, key);
    if (i < 0)
        return;
    free(d->key[i]);
    free(d->val[i]);
    d->key[i] = d->val[i] = nullptr;
    d->hash[i] = 0;
    d->n--;
}

s32 dictionary_setint(dictionary *d, const char *key, s32 i)
{
    char text[16];
    snprintf(text, sizeof text, "%d", i);
    return dictionary_set(d, key, text);
}

s32 dictionary_setdouble(dictionary *d, const char *key, double x)
{
    char text[32];
    snprintf(text, sizeof text, "%g", x);
    return dictionary_set(d, key, text);
}

void dictionary_dump(const dictionary *d, FILE *out)
{
    if (!d || !out)
        return;
    if (d->n < 1) {
        fputs("empty dictionary\n", out);
        return;
    }
    for (s32 i = 0; i < d->size; i++)
        if (d->key[i])
            fprintf(out, "%20s\t[%s]\n", d->key[i], d->val[i] ? d->val[i] : "UNDEF");
}
