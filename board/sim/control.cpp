// The board's control commands: one line in, one line out, "ok" or
// "error: why". They are how tests and camctl press keys, plug cables and
// change the scene, through $BOARD_ROOT/board.sock (control_socket.cpp) or
// sim::control in the board's own process.
#include "board/sim/control.h"
#include "board/sim/sim.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <thread>

namespace sim {

namespace {

std::map<std::string, CommandHandler> &commands()
{
    static std::map<std::string, CommandHandler> table;
    return table;
}

std::vector<std::function<std::string()>> &status_parts()
{
    static std::vector<std::function<std::string()>> parts;
    return parts;
}

// A number is the whole word, in plain decimal: an optional minus, then
// digits with at most one point among them. No plus, no exponent, no blanks,
// no "nan" or "inf", no hexadecimal, nothing after it (a NUL byte included).
bool plain_decimal(const std::string &s)
{
    bool digit = false, point = false;
    for (size_t i = !s.empty() && s[0] == '-' ? 1 : 0; i < s.size(); i++) {
        if (isdigit((unsigned char)s[i]))
            digit = true;
        else if (s[i] == '.' && !point)
            point = true;
        else
            return false;
    }
    return digit;
}

// What the running command leaves to do besides its answer.
thread_local control_line::Followup t_followup;

const std::string kOk = "ok";
std::string error(const std::string &why) { return "error: " + why; }

// ---- the surroundings' settings ---------------------------------------------------
// One row per setting that board.conf gives at start and a control command
// changes, with the values both take.
struct WorldKey {
    const char *key;
    ValueRule rule;
    void (*set)(World &w, double v);
};

const WorldKey kWorldKeys[] = {
    {"card", {{}, 0, 1, true}, [](World &w, double v) { w.card = v != 0; }},
    {"card_mb", {{}, 1, 1024 * 1024, true}, [](World &w, double v) { w.card_mb = (long)v; }},
    {"battery", {{}, 0, 0xFFFF, true}, [](World &w, double v) { w.battery = (int)v; }},
    {"tv", {{}, 0, 1, true}, [](World &w, double v) { w.tv = v != 0; }},
    {"usb", {{"none", "charger", "host"}}, [](World &w, double v) { w.usb = (Usb)(int)v; }},
    {"hold", {{"none", "rec", "mode", "rec+mode"}},
     [](World &w, double v) {
         w.key_rec = v == 1 || v == 3;
         w.key_mode = v == 2 || v == 3;
     }},
    // Up to full sunlight: a room is about 1, daylight hundreds to thousands.
    {"scene.brightness", {{}, 0, 100000, false}, [](World &w, double v) { w.scene_brightness = v; }},
    {"scene.kelvin", {{}, 1000, 20000, true}, [](World &w, double v) { w.scene_kelvin = (int)v; }},
    {"scene.motion", {{"off", "on"}}, [](World &w, double v) { w.scene_motion = v != 0; }},
    {"scene.pattern", {{"default", "grey"}}, [](World &w, double v) { w.scene_grey = v != 0; }},
    {"scene.haze", {{}, 0, 1, false}, [](World &w, double v) { w.scene_haze = v; }},
};

std::string number_text(double v)
{
    char text[32];
    snprintf(text, sizeof text, "%.10g", v);
    return text;
}

// What a rule takes, for the refusal: "must be none, charger or host".
std::string what_it_takes(const ValueRule &r)
{
    if (r.words.empty())
        return std::string("must be a ") + (r.whole ? "whole number" : "number") + " from " + number_text(r.min) +
               " to " + number_text(r.max);
    std::string list = "must be ";
    for (size_t i = 0; i < r.words.size(); i++)
        list += std::string(i == 0 ? "" : i + 1 == r.words.size() ? " or " : ", ") + r.words[i];
    return list;
}

// The setting under the world's lock; "" when taken, else the answer's why.
std::string set_world(const std::string &key, const std::string &value)
{
    std::string why;
    with_world([&](World &w) { why = world_setting(w, key, value); });
    return why;
}

bool *key_flag(World &w, const std::string &key)
{
    if (key == "rec")
        return &w.key_rec;
    if (key == "mode")
        return &w.key_mode;
    if (key == "power")
        return &w.key_power;
    return nullptr;
}

void set_key(const std::string &key, bool pressed)
{
    with_world([&](World &w) {
        *key_flag(w, key) = pressed;
        if (key == "power" && pressed)
            w.power_key_seen = true;
    });
    event("key", "%s %s", key.c_str(), pressed ? "press" : "release");
}

std::string cmd_key(const std::vector<std::string> &a)
{
    World probe;
    if (a.size() < 2 || !key_flag(probe, a[0]))
        return error("usage: key rec|mode|power press|release|tap|hold SECONDS");
    const std::string &key = a[0], &how = a[1];
    if (how == "press" || how == "release") {
        set_key(key, how == "press");
    } else if (how == "tap" || how == "hold") {
        double seconds = 0.3; // long enough for the key scan's debounce
        if (how == "hold" && (a.size() != 3 || !parse_double(a[2], seconds) || seconds < 0 || seconds > 600))
            return error("hold needs SECONDS between 0 and 600");
        set_key(key, true);
        t_followup.delay = std::chrono::milliseconds((long)(seconds * 1000));
        t_followup.before_answer = [key] { set_key(key, false); };
    } else {
        return error("unknown key action '" + how + "'");
    }
    return kOk;
}

std::string cmd_tv(const std::vector<std::string> &a)
{
    if (a.size() != 1 || (a[0] != "in" && a[0] != "out"))
        return error("usage: tv in|out");
    set_world("tv", a[0] == "in" ? "1" : "0");
    event("tv", "%s", a[0].c_str());
    return kOk;
}

std::string cmd_usb(const std::vector<std::string> &a)
{
    if (a.size() != 1)
        return error("usage: usb none|charger|host");
    std::string why = set_world("usb", a[0]);
    if (!why.empty())
        return error(why);
    event("usb", "%s", a[0].c_str());
    usb_update();
    return kOk;
}

std::string cmd_battery(const std::vector<std::string> &a)
{
    if (a.size() != 1)
        return error("usage: battery N (0..65535)");
    std::string why = set_world("battery", a[0]);
    if (!why.empty())
        return error(why);
    event("battery", "%d", world().battery);
    return kOk;
}

std::string cmd_card(const std::vector<std::string> &a)
{
    if (a.size() != 1 || (a[0] != "in" && a[0] != "out"))
        return error("usage: card in|out");
    set_world("card", a[0] == "in" ? "1" : "0");
    event("card", "%s", a[0].c_str());
    card_changed();
    return kOk;
}

std::string cmd_card_mb(const std::vector<std::string> &a)
{
    if (a.size() != 1)
        return error("usage: card_mb N (1..1048576)");
    std::string why = set_world("card_mb", a[0]);
    if (!why.empty())
        return error(why);
    event("card", "size %ld MB", world().card_mb);
    card_changed();
    return kOk;
}

// `scene X V` sets board.conf's scene.X.
std::string cmd_scene(const std::vector<std::string> &a)
{
    if (a.size() != 2)
        return error("usage: scene brightness X | motion on|off | kelvin K | pattern grey|default | haze X");
    std::string why = set_world("scene." + a[0], a[1]);
    if (why == kUnknownSetting)
        return error("unknown scene setting '" + a[0] + "'");
    if (!why.empty())
        return error(why);
    event("scene", "%s %s", a[0].c_str(), a[1].c_str());
    return kOk;
}

// The battery pulled: the process ends at once, as the power goes, without
// the power-off sequence and without flushing anything.
std::string cmd_power(const std::vector<std::string> &a)
{
    if (a.size() != 1 || a[0] != "cut")
        return error("usage: power cut");
    event("power", "cut");
    t_followup.after_answer = [] { power_cut(); };
    return kOk;
}

std::string cmd_status(const std::vector<std::string> &a)
{
    if (!a.empty())
        return error("usage: status");
    World w = world();
    std::ostringstream s;
    // LED0..LED3 levels, in the order of their numbers.
    s << "leds=" << gpio_level(10 * 256 + 0) << gpio_level(10 * 256 + 5) << gpio_level(3 * 256 + 6)
      << gpio_level(0 * 256 + 6);
    s << " power=on";
    s << " usb=" << (w.usb == Usb::host ? "host" : w.usb == Usb::charger ? "charger" : "none");
    s << " tv=" << (w.tv ? 1 : 0);
    s << " card=" << (w.card ? 1 : 0);
    s << " battery=" << w.battery;
    for (auto &part : status_parts())
        s << " " << part();
    return s.str();
}

CommandRegistration reg_key("key", cmd_key);
CommandRegistration reg_tv("tv", cmd_tv);
CommandRegistration reg_usb("usb", cmd_usb);
CommandRegistration reg_battery("battery", cmd_battery);
CommandRegistration reg_card("card", cmd_card);
CommandRegistration reg_card_mb("card_mb", cmd_card_mb);
CommandRegistration reg_scene("scene", cmd_scene);
CommandRegistration reg_power("power", cmd_power);
CommandRegistration reg_status("status", cmd_status);

} // namespace

std::string control_line::run(const std::string &line, Followup &followup)
{
    std::vector<std::string> words = split_words(line);
    if (words.empty())
        return error("empty command");
    auto it = commands().find(words[0]);
    if (it == commands().end())
        return error("unknown command '" + words[0] + "'");
    event("control", "%s", line.c_str());
    t_followup = {};
    std::string answer = it->second(std::vector<std::string>(words.begin() + 1, words.end()));
    followup = std::move(t_followup);
    t_followup = {};
    return answer;
}

bool parse_long(const std::string &s, long &v)
{
    if (!plain_decimal(s) || s.find('.') != std::string::npos)
        return false;
    char *end = nullptr;
    errno = 0;
    v = strtol(s.c_str(), &end, 10);
    return !errno && end == s.c_str() + s.size();
}

bool parse_double(const std::string &s, double &v)
{
    if (!plain_decimal(s))
        return false;
    char *end = nullptr;
    errno = 0;
    v = strtod(s.c_str(), &end);
    // Too many digits overflow to infinity; no setting takes it.
    return !errno && end == s.c_str() + s.size() && std::isfinite(v);
}

std::string check_value(const std::string &key, const ValueRule &rule, const std::string &value, double &v)
{
    if (!rule.words.empty()) {
        auto it = std::find_if(rule.words.begin(), rule.words.end(), [&](const char *word) { return value == word; });
        if (it == rule.words.end())
            return key + " " + what_it_takes(rule);
        v = (double)(it - rule.words.begin());
        return "";
    }
    long n = 0;
    const bool number = rule.whole ? parse_long(value, n) : parse_double(value, v);
    if (rule.whole)
        v = (double)n;
    if (!number || v < rule.min || v > rule.max)
        return key + " " + what_it_takes(rule);
    return "";
}

const char *const kUnknownSetting = "no such setting";

std::string world_setting(World &w, const std::string &key, const std::string &value)
{
    for (const WorldKey &row : kWorldKeys) {
        if (key != row.key)
            continue;
        double v = 0;
        std::string why = check_value(key, row.rule, value, v);
        if (why.empty())
            row.set(w, v);
        return why;
    }
    return kUnknownSetting;
}

std::vector<std::string> world_setting_keys()
{
    std::vector<std::string> keys;
    for (const WorldKey &row : kWorldKeys)
        keys.push_back(row.key);
    return keys;
}

CommandRegistration::CommandRegistration(const char *name, CommandHandler handler)
{
    commands()[name] = std::move(handler);
}

StatusRegistration::StatusRegistration(std::function<std::string()> part)
{
    status_parts().push_back(std::move(part));
}

// In the caller's own thread a held key is held by waiting.
std::string control(const std::string &line)
{
    control_line::Followup followup;
    std::string answer = control_line::run(line, followup);
    if (followup.before_answer) {
        std::this_thread::sleep_for(followup.delay);
        followup.before_answer();
    }
    if (followup.after_answer)
        followup.after_answer();
    return answer;
}

} // namespace sim
