// The INI parser's string helpers, each over a static buffer of its own.
#include "sceneauto/strlib.h"

#include <cctype>
#include <cstring>

namespace {

constexpr size_t kStrMax = 1024;

// The first kStrMax characters of `s`, changed by `op`, in `buf`.
template <class Op>
char *into(char (&buf)[kStrMax + 1], const char *s, Op op)
{
    if (!s)
        return nullptr;
    size_t len = strnlen(s, kStrMax);
    memcpy(buf, s, len);
    buf[len] = 0;
    op(buf);
    return buf;
}

} // namespace

char *strlwc(const char *s)
{
    static char buf[kStrMax + 1];
    return into(buf, s, ini_lower);
}

char *strupc(const char *s)
{
    static char buf[kStrMax + 1];
    return into(buf, s, ini_upper);
}

char *strcrop(const char *s)
{
    static char buf[kStrMax + 1];
    return into(buf, s, ini_crop);
}

char *strstrip(const char *s)
{
    static char buf[kStrMax + 1];
    return into(buf, strskp(s), ini_crop);
}

const char *strskp(const char *s)
{
    if (!s)
        return nullptr;
    while (ini_space(*s))
        s++;
    return s;
}

bool ini_space(char c)
{
    return isspace((unsigned char)c) != 0;
}

void ini_lower(char *s)
{
    for (; *s; s++)
        *s = (char)tolower((unsigned char)*s);
}

void ini_upper(char *s)
{
    for (; *s; s++)
        *s = (char)toupper((unsigned char)*s);
}

void ini_crop(char *s)
{
    size_t len = strlen(s);
    while (len > 0 && ini_space(s[len - 1]))
        len--;
    s[len] = 0;
}
