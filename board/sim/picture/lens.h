// The lens in front of the board's sensor and its iris (board.conf `iris`,
// control command `iris`): none, a DC iris on the PWM output the ISP driver
// names (board.conf `iris.pwm`), or a P-iris on its stepper. The aperture
// scales the light the sensor receives, so the picture and the statistics
// follow it.
//
// DC iris (board/sim/devices/pwm.cpp): a galvanometer against a closing spring,
// as DC-iris lenses are: at the hold duty (kDcIrisHoldDuty, per mille of
// the period, the exposure library's default hold value) the coil balances
// the spring and the aperture stays where it is; above it the iris opens,
// below it closes, at kDcIrisSpeed stops a second for each per mille away
// from the hold, the coil taking up a new duty with its lag
// (kDcIrisLagSeconds). The travel is kDcIrisStops stops from wide open to
// the end, where the blades shut (no light). Duty 1000 opens it fully
// (under a second from shut), duty 100 shuts it (about 0.7 s from wide
// open); a disabled output lets the spring shut it. The board starts with
// it wide open.
//
// P-iris (board/sim/picture/piris.cpp): a stepper of kPirisSteps positions, 0 the
// wide-open end stop, kPirisSteps - 1 the shut one, moving kPirisStepRate
// steps a second and answering "moving" while it travels. Its F-number
// table, one stop every kPirisStepsPerStop steps:
//
//   position  0     15    30    45    60    75    90    92
//   F-number  1.4   2     2.8   4     5.6   8     11    shut
//
// (light 2^(-position / 15) of wide open, the last two steps shutting the
// blades). Origin runs the requested steps against the stops (the firmware
// asks for more than the travel, so it ends at an end stop); close and the
// position request go to the position they name. It starts mid-travel, as
// a lens left wherever it was.
#pragma once

#include <cstdint>

namespace sim {

enum class IrisKind { none, dc, piris };

IrisKind lens_iris();

// The share of the scene's light the lens lets through now: 1 wide open
// (and without an iris), 0 shut.
double lens_light();

// ---- DC iris ---------------------------------------------------------------
constexpr double kDcIrisHoldDuty = 610;   // per mille: holds the aperture
constexpr double kDcIrisSpeed = 0.03;     // stops a second per mille from the hold
constexpr double kDcIrisLagSeconds = 0.05;
constexpr double kDcIrisStops = 10;       // wide open to shut

// A duty on the PWM output `pwm` (per mille; enable 0 drives nothing).
void dciris_drive(uint32_t pwm, double duty_per_mille, bool enable);
// Stops closed from wide open now (0 .. kDcIrisStops, the end shut).
double dciris_stops();
double dciris_light();
// The duty the iris's output carries now (per mille, 0 when disabled).
double dciris_duty();

// ---- P-iris ------------------------------------------------------------------
constexpr int kPirisSteps = 93;
constexpr double kPirisStepRate = 400;   // steps a second
constexpr double kPirisStepsPerStop = 15;

// Where the stepper is now (fractional while it travels) and whether it moves.
double piris_position();
bool piris_moving();
// The light at a position of the stepper's travel.
double piris_light_at(double position);

} // namespace sim
