// board.conf: one table of every key the board takes, each with its check,
// and the reading of the file at start. A line is taken only when its key is
// in the table and its value passes the key's check; every other line is
// told with its number, its text and why, and the default (or the value an
// earlier line gave) stays.
#include "board/sim/audio/ai_sound.h"
#include "board/sim/sim.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace sim {

namespace {

// "" when the key's value is taken, else why.
using Check = std::function<std::string(const std::string &key, const std::string &value)>;

Check rule(ValueRule r)
{
    return [r](const std::string &key, const std::string &value) {
        double v = 0;
        return check_value(key, r, value, v);
    };
}
Check whole(long lo, long hi) { return rule({{}, (double)lo, (double)hi, true}); }
Check number(double lo, double hi) { return rule({{}, lo, hi, false}); }
Check words(std::vector<const char *> w) { return rule({std::move(w)}); }

// The surroundings: checked as their control commands check them.
std::string world_check(const std::string &key, const std::string &value)
{
    World scratch;
    return world_setting(scratch, key, value);
}

std::string date_check(const std::string &key, const std::string &value)
{
    time_t t;
    return rtc_parse(value, t) ? "" : key + " must be a date and time YYYY/MM/DD-hh:mm:ss from 1970 to 2099";
}

// The microphone's sound and echo: as the `audio` command takes them.
std::string sound_check(const std::string &, const std::string &value)
{
    capture::Sound sound;
    return sound.parse(split_words(value));
}

std::string echo_check(const std::string &, const std::string &value)
{
    capture::Echo echo;
    return echo.parse(split_words(value));
}

// A request number a driver is to refuse, written as request numbers are:
// decimal, or hexadecimal after 0x.
std::string request_check(const std::string &key, const std::string &value)
{
    const bool hex = value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
    const size_t digits = hex ? 2 : 0;
    bool ok = value.size() > digits && value.size() - digits <= (hex ? 8 : 10);
    for (size_t i = digits; ok && i < value.size(); i++)
        ok = hex ? isxdigit((unsigned char)value[i]) : isdigit((unsigned char)value[i]);
    const unsigned long long n = ok ? strtoull(value.c_str(), nullptr, 0) : 0;
    return ok && n >= 1 && n <= 0xFFFFFFFFull
               ? ""
               : key + " must be a request number from 1 to 4294967295, decimal or hexadecimal after 0x";
}

struct ConfKey {
    std::string key;
    Check check;
};

// The surroundings' keys come from the control commands' own table.
std::vector<ConfKey> make_conf_keys()
{
    std::vector<ConfKey> table;
    for (const std::string &key : world_setting_keys())
        table.push_back({key, world_check});
    const ConfKey own[] = {
        {"audio", sound_check},
        {"audio.echo", echo_check},
        {"rtc", date_check},
        {"sensor", words({"mn34220", "none"})},
        {"sensor.hot_pixels", whole(0, 4095)},
        {"sensor.shading", number(0.05, 1)},
        {"sensor.column_pattern", number(0, 256)},
        {"sensor.noise", number(0, 16)},
        {"ive", words({"present", "none"})},
        {"iris", words({"none", "dc", "piris"})},
        {"iris.pwm", whole(0, 7)},
        {"isp.proc", whole(0, 100000)},
        {"flash_mb", whole(1, 65536)},
        {"power_cut", words({"drop", "tear", "keep"})},
        {"trace", whole(0, 1)},
        // Fault knobs and kernel configuration words, for tests.
        {"isp.dcf", whole(0, 1)},
        {"isp.stat_fault", whole(0, 1)},
        {"i2c", whole(0, 1)},
        {"hrtimer", whole(0, 1)},
        {"vi_vpss_mode", whole(0, 1)},
        {"sys_refuse", request_check},
        {"mmz_refuse", request_check},
        {"vb_refuse", request_check},
        {"ive_refuse", request_check},
        {"aenc_refuse", request_check},
        {"adec_refuse", request_check},
        {"venc_refuse", request_check},
        {"vda_refuse", request_check},
        {"tlv320_refuse", request_check},
    };
    table.insert(table.end(), std::begin(own), std::end(own));
    return table;
}

const std::vector<ConfKey> &conf_keys()
{
    static const std::vector<ConfKey> table = make_conf_keys();
    return table;
}

const ConfKey *find_key(const std::string &key)
{
    for (const ConfKey &k : conf_keys())
        if (key == k.key)
            return &k;
    return nullptr;
}

struct Setting {
    std::string value;
    int line;
    std::string text; // the whole line, for a later line that replaces it
};

std::mutex g_conf_lock;
std::map<std::string, Setting> g_conf;

std::string trim(const std::string &s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// A line as it can be shown: bytes that are not printable escaped, and a
// long one cut short.
std::string shown(const std::string &text)
{
    constexpr size_t kMost = 120;
    std::string out;
    for (size_t i = 0; i < text.size() && i < kMost; i++) {
        const unsigned char c = (unsigned char)text[i];
        char esc[8];
        if (c == '\\')
            out += "\\\\";
        else if (c < 0x20 || c >= 0x7F)
            snprintf(esc, sizeof esc, "\\x%02X", c), out += esc;
        else
            out += (char)c;
    }
    return text.size() > kMost ? out + "..." : out;
}

} // namespace

std::vector<std::string> read_conf(const std::string &path)
{
    std::vector<std::string> told;
    auto tell = [&](int number, const std::string &text, const std::string &what) {
        told.push_back("board.conf line " + std::to_string(number) + " '" + shown(text) + "' " + what);
    };
    std::lock_guard<std::mutex> lock(g_conf_lock);
    g_conf.clear();
    std::ifstream in(path);
    std::string line;
    for (int number = 1; std::getline(in, line); number++) {
        // Editors may start the file with a UTF-8 byte-order mark.
        if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3);
        line = trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) {
            tell(number, line, "refused: not a `key = value` line");
            continue;
        }
        const std::string key = trim(line.substr(0, eq)), value = trim(line.substr(eq + 1));
        if (key.empty()) {
            tell(number, line, "refused: no key before its `=`");
            continue;
        }
        const ConfKey *k = find_key(key);
        if (!k) {
            tell(number, line, "refused: board.conf has no key '" + shown(key) + "'");
            continue;
        }
        auto earlier = g_conf.find(key);
        const std::string kept =
            earlier == g_conf.end() ? "the default kept" : "line " + std::to_string(earlier->second.line) + "'s value kept";
        const std::string why = value.empty() ? key + " has no value" : k->check(key, value);
        if (!why.empty()) {
            tell(number, line, "refused: " + why + "; " + kept);
            continue;
        }
        if (earlier != g_conf.end())
            tell(earlier->second.line, earlier->second.text,
                 "replaced: " + key + " is given again on line " + std::to_string(number) + ", which holds");
        g_conf[key] = {value, number, line};
    }
    return told;
}

void conf_told(const std::string &what)
{
    event("board", "%s", what.c_str());
    fprintf(stderr, "board: %s\n", what.c_str());
}

std::string conf(const std::string &key, const std::string &fallback)
{
    std::lock_guard<std::mutex> lock(g_conf_lock);
    auto it = g_conf.find(key);
    return it == g_conf.end() ? fallback : it->second.value;
}

long conf_int(const std::string &key, long fallback)
{
    const std::string v = conf(key, "");
    if (v.empty())
        return fallback;
    // Checked as read: decimal, or a request number's hexadecimal.
    return strtol(v.c_str(), nullptr, 0);
}

} // namespace sim
