// Waiting in a test for something that must happen. The condition is asked again until it
// holds or a generous limit passes: a busy, shared machine can be seconds late, so the
// limit is far above any normal wait, and only a broken program reaches it. Between asks,
// EventuallyServing runs what the condition depends on (an event loop, a GUI queue);
// Eventually sleeps a millisecond.
#pragma once

#include <chrono>
#include <thread>

inline constexpr std::chrono::milliseconds kPatience{30000};

template <typename Condition, typename Serve>
bool EventuallyServing(Condition condition, Serve serve,
                       std::chrono::milliseconds limit = kPatience) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    serve();
  }
  return true;
}

template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = kPatience) {
  return EventuallyServing(
      condition, [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }, limit);
}
