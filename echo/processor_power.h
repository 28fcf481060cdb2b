// The engine's half of the power switch, in the order that keeps every buffer safe: the pool
// before the streams, the streams before the echo thread; and at power-off the echo thread
// gone before the streams stop, the streams stopped before the pool is freed. The front
// ends (the window, the renderer) wrap their own steps around these. GUI thread.
#pragma once

#include <functional>

class EchoThreadHolder;

// The memo line of a power-on that could not have its pool, after the pool's own lines.
inline constexpr const char* kPowerOnGivenUp =
    "Not switched on: not enough memory for the eight buffers.";

// Allocates the pool, starts capture, then playback, then the echo thread if "Echo active"
// is ticked. Without the whole pool it starts nothing and says so in the memo.
void PowerUpEngine(EchoThreadHolder& echo);

// Asks the echo thread to end and serves the GUI thread's messages (the thread paints its
// LED through them) until no echo pass can run any more; at least once, and at once when
// there is no echo thread. The caller unticks "Echo active" first.
void AwaitEchoEnd(EchoThreadHolder& echo, const std::function<void()>& processMessages);

// Stops capture, then playback, and frees the pool; after a power-on that started
// nothing, only the pool is left to free.
void PowerDownEngine();
