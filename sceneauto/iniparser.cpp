// The INI loader, the lookups with folded case, comment storage and the
// writers. A person edits these files: any bytes must load without harm.
#include "sceneauto/iniparser.h"

#include "board/board.h"
#include "sceneauto/strlib.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include <syslog.h>

namespace {

constexpr size_t kLineMax = 1023;   // characters of a line before its newline
constexpr size_t kFieldMax = 512;   // of a section name, key, value or comment
constexpr int kHeaderWidth = 49;    // "[name]" padded to this, then the newline
constexpr int kIndent = 48;         // spaces before an indented comment
constexpr size_t kKeyWidth = 30;    // columns of a key line: key, then value
constexpr size_t kValueWidth = 15;

// ---- names ------------------------------------------------------------------------------------------

// "sec:key"; the section alone for a null or empty key; ":key" before any section.
std::string entry_name(const char *sec, const char *key)
{
    std::string name = sec;
    if (key && *key) {
        name += ':';
        name += key;
    }
    return name;
}

std::string lowered(const char *key)
{
    std::string s = key;
    ini_lower(s.data());
    return s;
}

// The lower-cased key's value; `found` says whether the entry exists.
const char *lookup(const dictionary *d, const char *key, bool *found = nullptr)
{
    const s32 i = d && key ? dictionary_slot(d, lowered(key).c_str()) : -1;
    if (found)
        *found = i >= 0;
    return i >= 0 ? d->val[i] : nullptr;
}

// ---- loading ----------------------------------------------------------------------------------------

enum class LineRead { line, too_long, end };

// One line with its newline into `line`; the rest of one over kLineMax
// characters is read and dropped. A last line without a newline is a line.
LineRead read_line(FILE *in, char (&line)[kLineMax + 2])
{
    size_t len = 0;
    int c;
    while ((c = getc(in)) != EOF) {
        if (len == kLineMax && c != '\n') {
            while ((c = getc(in)) != EOF && c != '\n') {
            }
            line[len] = 0;
            return LineRead::too_long;
        }
        line[len++] = (char)c;
        if (c == '\n')
            break;
    }
    line[len] = 0;
    return len ? LineRead::line : LineRead::end;
}

struct Loader {
    dictionary *d;
    const char *path;
    int lineno;
    char section[kLineMax + 2]; // current section and key, lower-cased
    char key[kLineMax + 2];
};

// Cuts a field to kFieldMax characters, saying so.
void cut(const Loader &at, char *field, const char *what)
{
    if (strlen(field) <= kFieldMax)
        return;
    field[kFieldMax] = 0;
    fprintf(stderr, "iniparser: %s over %zu characters cut in %s (%d)\n", what, kFieldMax, at.path, at.lineno);
}

void comment(Loader &at, char *text, s32 kind)
{
    cut(at, text, "comment");
    iniparser_add_comment(at.d, at.section, at.key, text, kind);
}

// A name or value: no trailing white space, at most kFieldMax characters.
void field(const Loader &at, char *s, const char *what)
{
    ini_crop(s);
    cut(at, s, what);
    ini_crop(s);
}

// "[name]", "[name] comment". A name without its closing bracket ends with
// the line, before its line break.
bool section_line(Loader &at, const char *where)
{
    char name[kLineMax + 2], trailing[kLineMax + 2];
    int end = 0;
    if (sscanf(where, "[%[^]\n]%n", name, &end) != 1)
        return false;
    const bool closed = where[end] == ']';
    size_t len = strlen(name);
    if (!closed && name[len - 1] == '\r')
        name[--len] = 0;
    if (len == 0)
        return false;
    cut(at, name, "section name");
    ini_lower(name);
    strcpy(at.section, name);
    at.key[0] = 0;
    iniparser_add_entry(at.d, at.section, nullptr, nullptr);
    if (closed && sscanf(where + end + 1, " %[^\n]", trailing) == 1)
        comment(at, trailing, kCommentTrailing);
    return true;
}

// The key line forms in the order they are tried, with what each fills.
enum class Fills { key_value_comment, key_value, key_comment, key };
struct KeyForm {
    const char *format;
    Fills fills;
};
constexpr KeyForm kKeyForms[] = {
    {"%[^=] = \"%[^\"]\" %[^\n]", Fills::key_value_comment},
    {"%[^=] = \"%[^\"]\"", Fills::key_value},
    {"%[^=] = '%[^']' %[^\n]", Fills::key_value_comment},
    {"%[^=] = '%[^']'", Fills::key_value},
    {"%[^=] = %[^;] %[^\n]", Fills::key_value_comment},
    {"%[^=] = %[^;]", Fills::key_value},
    {"%[^=] = %[^\n]", Fills::key_comment}, // the value starts with ';': empty
    {"%[^=] = ", Fills::key},
};

bool key_line(Loader &at, const char *where)
{
    // Without '=' the last form would take any text for a key.
    if (!strchr(where, '='))
        return false;
    char key[kLineMax + 2], value[kLineMax + 2], trailing[kLineMax + 2];
    for (const KeyForm &form : kKeyForms) {
        key[0] = value[0] = trailing[0] = 0;
        bool matched = false;
        switch (form.fills) {
        case Fills::key_value_comment: matched = sscanf(where, form.format, key, value, trailing) == 3; break;
        case Fills::key_value: matched = sscanf(where, form.format, key, value) == 2; break;
        case Fills::key_comment: matched = sscanf(where, form.format, key, trailing) == 2; break;
        case Fills::key: matched = sscanf(where, form.format, key) == 1; break;
        }
        if (!matched)
            continue;
        field(at, key, "key");
        ini_lower(key);
        field(at, value, "value");
        if (strcmp(value, "\"\"") == 0 || strcmp(value, "''") == 0)
            value[0] = 0;
        strcpy(at.key, key);
        iniparser_add_entry(at.d, at.section, at.key, value);
        if (trailing[0])
            comment(at, trailing, kCommentTrailing);
        return true;
    }
    return false;
}

void parse_line(Loader &at, char *line)
{
    if (line[0] == ';' || line[0] == '#') {
        comment(at, line, kCommentLine);
        return;
    }
    char *where = const_cast<char *>(strskp(line));
    if (*where == ';' || *where == '#') {
        comment(at, where, kCommentIndented);
        return;
    }
    if (section_line(at, where) || key_line(at, where))
        return;
    char blank[1] = {0};
    comment(at, blank, kCommentBlank);
}

// ---- writing ----------------------------------------------------------------------------------------

// A comment line ends in a newline even when its text has none (a file's
// last line, a cut comment), so that the next line stays a line of its own.
void put_line(FILE *f, const char *text)
{
    fputs(text, f);
    if (text[strlen(text) - 1] != '\n')
        fputc('\n', f);
}

const char *text_of(const dictionary *d, s32 i)
{
    return d->comment_text[i] ? d->comment_text[i] : " ";
}

// A trailing comment away from its line: marked as a comment where it does
// not read as one, so that it cannot come back as a section or key.
void put_trailing_line(FILE *f, const char *text)
{
    if (text[0] != ';' && text[0] != '#')
        fputs("; ", f);
    put_line(f, text);
}

// The comment lines of `owner` in slot order; its trailing comments too, as
// lines, when `trailing`. Whether any was written.
bool write_comments(const dictionary *d, FILE *f, u32 owner, bool trailing)
{
    bool wrote = false;
    for (s32 i = 0; i < d->comment_size; i++) {
        if (d->comment_kind[i] == kCommentFree || d->comment_owner[i] != owner)
            continue;
        switch (d->comment_kind[i]) {
        case kCommentTrailing:
            if (!trailing)
                continue;
            put_trailing_line(f, text_of(d, i));
            break;
        case kCommentLine: put_line(f, text_of(d, i)); break;
        case kCommentIndented:
            fprintf(f, "%*s", kIndent, " ");
            put_line(f, text_of(d, i));
            break;
        case kCommentBlank: fputs("\r\n", f); break;
        default: continue;
        }
        wrote = true;
    }
    return wrote;
}

enum class Style { file, console };

// Ends a section or key line of `len` characters: the trailing comments
// that fit the loader's line (after a bare value only those starting with
// ';', which cannot read as part of it), the newline, then the others as
// lines of their own and the comment lines under it.
void end_line(const dictionary *d, FILE *f, u32 owner, Style style, size_t len, bool bare)
{
    std::vector<const char *> below;
    for (s32 i = 0; style == Style::file && i < d->comment_size; i++) {
        if (d->comment_kind[i] != kCommentTrailing || d->comment_owner[i] != owner)
            continue;
        const char *text = text_of(d, i);
        const size_t n = strlen(text);
        if (len + n <= kLineMax && (!bare || text[0] == ';')) {
            fputs(text, f);
            len += n;
        } else {
            below.push_back(text);
        }
    }
    fputc('\n', f);
    for (const char *text : below)
        put_trailing_line(f, text);
    if (style == Style::file)
        write_comments(d, f, owner, false);
}

// The quote that reads back as the whole value: '"', or '\'' for a value
// holding a double quote; a value holding both (which only a bare value can
// be) stays bare.
const char *quote_for(const char *v)
{
    if (!strchr(v, '"'))
        return "\"";
    return strchr(v, '\'') ? "" : "'";
}

// Whether a value reads back whole after "key=" without quotes.
bool reads_bare(const char *v)
{
    const size_t n = strlen(v);
    if (strpbrk(v, ";\n") || strcmp(v, "\"\"") == 0 || strcmp(v, "''") == 0)
        return false;
    if (n && (ini_space(v[0]) || ini_space(v[n - 1])))
        return false;
    // An opening quote reads as a quoted value unless another follows it.
    return !((v[0] == '"' || v[0] == '\'') && v[1] != v[0]);
}

// An entry with a value (the keys without one are headers).
void write_entry(const dictionary *d, FILE *f, s32 slot, const char *name, Style style)
{
    const char *v = d->val[slot];
    const char *q = style == Style::file ? quote_for(v) : "";
    // A line past the loader's limit loses its columns, and its quotes where
    // the value reads back without them: a line read in fits again.
    const size_t columns = std::max(strlen(name), kKeyWidth) + 3 + 2 * strlen(q) + std::max(strlen(v), kValueWidth);
    int len;
    if (style == Style::file && columns > kLineMax) {
        if (reads_bare(v))
            q = "";
        len = fprintf(f, "%s=%s%s%s", name, q, v, q);
    } else {
        len = fprintf(f, "%-*s = %s%-*s%s", (int)kKeyWidth, name, q, (int)kValueWidth, v, q);
    }
    end_line(d, f, d->hash[slot], style, (size_t)len, !*q);
}

void write_header(const dictionary *d, FILE *f, s32 slot, Style style)
{
    int len = fprintf(f, "[%s]", d->key[slot]);
    if (style == Style::file && len < kHeaderWidth)
        len += fprintf(f, "%*s", kHeaderWidth - len, "");
    end_line(d, f, d->hash[slot], style, (size_t)len, false);
}

// A header line: a section, or a key without a value, which only a section
// whose name holds ':' is when loaded (the sections' count leaves those out).
bool is_header(const dictionary *d, s32 i)
{
    return d->key[i] && (!d->val[i] || !strchr(d->key[i], ':'));
}

// The header an entry goes under: the longest one whose name and a ':'
// begin its key; -1 for none (a key before any section is ":key").
s32 header_of(const dictionary *d, const char *key)
{
    const std::string k = key;
    for (size_t colon = k.rfind(':'); colon != std::string::npos && colon > 0; colon = k.rfind(':', colon - 1)) {
        const s32 h = dictionary_slot(d, k.substr(0, colon).c_str());
        if (h >= 0 && is_header(d, h))
            return h;
    }
    return -1;
}

void write_ini(const dictionary *d, FILE *f, Style style)
{
    if (!d || !f)
        return;
    if (style == Style::file)
        write_comments(d, f, kCommentHead, true);
    std::vector<s32> under(d->size, -1);
    for (s32 i = 0; i < d->size; i++)
        if (d->key[i] && !is_header(d, i))
            under[i] = header_of(d, d->key[i]);
    // Entries outside every section first, where a file keeps them: the
    // keys read before the first header, or all of a dictionary without
    // sections.
    for (s32 i = 0; i < d->size; i++) {
        const char *k = d->key[i];
        if (k && !is_header(d, i) && under[i] < 0)
            write_entry(d, f, i, k[0] == ':' ? k + 1 : k, style);
    }
    for (s32 h = 0; h < d->size; h++) {
        if (!is_header(d, h))
            continue;
        write_header(d, f, h, style);
        const size_t len = strlen(d->key[h]);
        for (s32 i = 0; i < d->size; i++)
            if (under[i] == h)
                write_entry(d, f, i, d->key[i] + len + 1, style);
    }
}

} // namespace

dictionary *iniparser_load(const char *ininame)
{
    if (!ininame)
        return nullptr;
    FILE *in = fopen(bd_path(ininame).c_str(), "r");
    if (!in)
        return nullptr;
    Loader at = {};
    at.d = dictionary_new(0);
    at.path = ininame;
    char line[kLineMax + 2];
    LineRead r;
    while (at.d && (r = read_line(in, line)) != LineRead::end) {
        at.lineno++;
        if (r == LineRead::too_long) {
            fprintf(stderr, "iniparser: input line too long in %s (%d):%s\n", ininame, at.lineno, line);
            syslog(LOG_NOTICE, "iniparser: input line too long in %s (%d)", ininame, at.lineno);
            continue;
        }
        parse_line(at, line);
    }
    // A read that failed (a directory, an I/O error) is not an empty file.
    if (ferror(in)) {
        dictionary_del(at.d);
        at.d = nullptr;
    }
    fclose(in);
    return at.d;
}

void iniparser_freedict(dictionary *d)
{
    dictionary_del(d);
}

s32 iniparser_getnsec(const dictionary *d)
{
    if (!d)
        return -1;
    s32 n = 0;
    for (s32 i = 0; i < d->size; i++)
        if (d->key[i] && !strchr(d->key[i], ':'))
            n++;
    return n;
}

const char *iniparser_getsecname(const dictionary *d, s32 n)
{
    if (!d || n < 0)
        return nullptr;
    for (s32 i = 0; i < d->size; i++)
        if (d->key[i] && !strchr(d->key[i], ':') && n-- == 0)
            return d->key[i];
    return nullptr;
}

const char *iniparser_getstring(const dictionary *d, const char *key, const char *def)
{
    const char *v = lookup(d, key);
    return v ? v : def;
}

const char *iniparser_getstr(const dictionary *d, const char *key)
{
    return iniparser_getstring(d, key, nullptr);
}

s32 iniparser_getint(const dictionary *d, const char *key, s32 notfound)
{
    s32 v;
    return dictionary_whole_int(lookup(d, key), 0, &v) ? v : notfound;
}

double iniparser_getdouble(const dictionary *d, const char *key, double notfound)
{
    double v;
    return dictionary_whole_double(lookup(d, key), &v) ? v : notfound;
}

s32 iniparser_getboolean(const dictionary *d, const char *key, s32 notfound)
{
    const char *v = lookup(d, key);
    if (!v || !v[0])
        return notfound;
    if (strchr("yYtT1", v[0]))
        return 1;
    if (strchr("nNfF0", v[0]))
        return 0;
    return notfound;
}

s32 iniparser_find_entry(const dictionary *d, const char *key)
{
    bool found;
    lookup(d, key, &found);
    return found ? 1 : 0;
}

s32 iniparser_setstr(dictionary *d, const char *key, const char *val)
{
    if (!d || !key)
        return -1;
    const std::string k = lowered(key);
    if (dictionary_slot(d, k.c_str()) < 0)
        return 1;
    return dictionary_set(d, k.c_str(), val);
}

void iniparser_unset(dictionary *d, const char *key)
{
    if (d && key)
        dictionary_unset(d, lowered(key).c_str());
}

s32 iniparser_add_entry(dictionary *d, const char *sec, const char *key, const char *val)
{
    if (!d || !sec)
        return -1;
    const std::string name = entry_name(sec, key);
    if (name.empty())
        return -1;
    if (dictionary_slot(d, name.c_str()) >= 0)
        return 1;
    return dictionary_add(d, name.c_str(), val);
}

s32 iniparser_add_comment(dictionary *d, const char *sec, const char *key, const char *text, s32 kind)
{
    if (!d || !sec || kind < kCommentLine || kind > kCommentBlank)
        return -1;
    // Owned by the entry's own name, so that a key before any section
    // (":key") gets its comments back when written.
    const std::string name = entry_name(sec, key);
    const u32 owner = name.empty() ? kCommentHead : dictionary_hash(name.c_str());
    if (d->comment_n == d->comment_size && !dictionary_grow_comments(d))
        return -1;
    char *copy = nullptr;
    if (text && text[0] && !(copy = strdup(text)))
        return -1;
    s32 i = 0;
    while (d->comment_kind[i] != kCommentFree)
        i++;
    free(d->comment_text[i]);
    d->comment_text[i] = copy;
    d->comment_owner[i] = owner;
    d->comment_kind[i] = (u8)kind;
    d->comment_n++;
    return 0;
}

s32 iniparser_save_comment(const dictionary *d, FILE *f, u32 owner)
{
    return d && f && write_comments(d, f, owner, true) ? 1 : 0;
}

void iniparser_dump(const dictionary *d, FILE *f)
{
    if (!d || !f)
        return;
    for (s32 i = 0; i < d->size; i++) {
        if (!d->key[i])
            continue;
        if (d->val[i])
            fprintf(f, "[%s]=[%s]\n", d->key[i], d->val[i]);
        else
            fprintf(f, "[%s]=UNDEF\n", d->key[i]);
    }
}

void iniparser_dump_ini(const dictionary *d, FILE *f)
{
    write_ini(d, f, Style::file);
}

void iniparser_mem_printf(const dictionary *d)
{
    write_ini(d, stdout, Style::console);
}

s32 iniparser_sec_getNLowLever(void)
{
    return 0;
}

s32 iniparser_sec_getLowLever(void)
{
    return 0;
}
