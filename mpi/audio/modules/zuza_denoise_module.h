// ANR and RNR are one module class over the shared denoiser; each library
// only reads its own sub-record into the denoiser's settings.
#pragma once

#include <memory>
#include <new>

#include "mpi/audio/modules/zuza_denoise.h"

namespace zuza {

// Settings from a stage's parameter block; false refuses the block.
typedef bool (*DenoiseReader)(const void *cfg, DenoiseSettings *settings);

template <DenoiseReader Read> struct DenoiseModule {
    Denoiser denoiser;

    DenoiseModule(s32 rate, const DenoiseSettings &settings) : denoiser(rate, settings) {}

    static DenoiseModule *make(s32 rate, const void *param)
    {
        const VQE_MODULE_PARAM_S *p = stage_param(param);
        DenoiseSettings settings;
        if (!Read(p ? p->pModuleCfg : nullptr, &settings))
            return nullptr;
        return new (std::nothrow) DenoiseModule(rate, settings);
    }

    bool process(const Frame &f) { return denoiser.run(f.in, f.out, f.samples); }
};

} // namespace zuza
