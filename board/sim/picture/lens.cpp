// The lens fitted to the board (board/sim/picture/lens.h): which iris it has, what
// share of the light it passes, the `iris` control command and the iris in
// the status line.
#include "board/sim/picture/lens.h"
#include "board/sim/sim.h"

#include <atomic>
#include <cstdio>

namespace sim {

namespace {

std::atomic<IrisKind> g_iris{IrisKind::none};

const char *kind_name(IrisKind k) { return k == IrisKind::dc ? "dc" : k == IrisKind::piris ? "piris" : "none"; }

bool kind_of(const std::string &s, IrisKind &k)
{
    for (IrisKind c : {IrisKind::none, IrisKind::dc, IrisKind::piris}) {
        if (s == kind_name(c)) {
            k = c;
            return true;
        }
    }
    return false;
}

Hooks lens_hooks([] {
    // board.conf's word was checked as it was read.
    IrisKind k = IrisKind::none;
    kind_of(conf("iris", "none"), k);
    g_iris = k;
});

std::string cmd_iris(const std::vector<std::string> &a)
{
    IrisKind k;
    if (a.size() != 1 || !kind_of(a[0], k))
        return "error: usage: iris none|dc|piris";
    g_iris = k;
    event("lens", "iris %s", kind_name(k));
    return "ok";
}

CommandRegistration reg_iris("iris", cmd_iris);

// How far the iris stands closed from wide open, in stops.
double closed_stops()
{
    switch (lens_iris()) {
    case IrisKind::dc:
        return dciris_stops();
    case IrisKind::piris:
        return piris_position() / kPirisStepsPerStop;
    default:
        return 0;
    }
}

StatusRegistration lens_status([] {
    char s[64];
    snprintf(s, sizeof s, "iris=%s iris_stops=%.2f", kind_name(lens_iris()), closed_stops());
    return std::string(s);
});

} // namespace

IrisKind lens_iris() { return g_iris.load(); }

double lens_light()
{
    switch (lens_iris()) {
    case IrisKind::dc:
        return dciris_light();
    case IrisKind::piris:
        return piris_light_at(piris_position());
    default:
        return 1.0;
    }
}

} // namespace sim
