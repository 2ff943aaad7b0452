// The engine's questions to the application, and their answers without one.
#include "recorder/dv_hooks.h"

namespace {

bool no(void) { return false; }
void forget(const char *) {}
uint64_t plenty(void) { return UINT64_MAX; }

constexpr DvAppHooks kAlone = {no, forget, plenty, no, no, no};

DvAppHooks g_hooks = kAlone;

template <typename Fn> Fn or_alone(Fn given, Fn alone) { return given ? given : alone; }

} // namespace

void dv_register_app_hooks(const DvAppHooks &hooks)
{
    g_hooks.powering_off = or_alone(hooks.powering_off, kAlone.powering_off);
    g_hooks.running_file = or_alone(hooks.running_file, kAlone.running_file);
    g_hooks.card_free_kib = or_alone(hooks.card_free_kib, kAlone.card_free_kib);
    g_hooks.usb_host_may_claim = or_alone(hooks.usb_host_may_claim, kAlone.usb_host_may_claim);
    g_hooks.tv_out_on = or_alone(hooks.tv_out_on, kAlone.tv_out_on);
    g_hooks.record_mode = or_alone(hooks.record_mode, kAlone.record_mode);
}

const DvAppHooks &dv_app_hooks(void) { return g_hooks; }
