// The application's answers to what the recording engine and the scene
// auto-tuning ask.
#pragma once

// Registers them with the engine; start-up does it before the engine runs.
void app_register_engine_hooks(void);
