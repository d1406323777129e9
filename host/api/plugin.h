#pragma once

// Marks a module's entry points: C linkage, visible from a module built with
// hidden visibility, so that the host can resolve them with dlsym.
#define HOST_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
