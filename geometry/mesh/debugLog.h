#pragma once

// Sink of the engine's progress and diagnostic lines. The engine writes its banners,
// counters and wake/sleep notices through this call so that they stay in the code
// as documentation, but nothing is printed: the call is empty and is optimised
// away together with its arguments.
template <class Handle, class... Args>
constexpr void debugLog([[maybe_unused]] const Handle& handle, [[maybe_unused]] const char* format,
                        [[maybe_unused]] const Args&... args) noexcept {}
