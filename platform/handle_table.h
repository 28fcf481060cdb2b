// Live objects by the handles a call layer gives out in their place. Each handle is made
// from an id counted up for the life of the table and never rewound, so a handle that was
// closed never names a newer object: a caller holding a stale one gets "no such handle"
// instead of someone else's device, block or window. Safe from any thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

template <typename Value>
class HandleTable {
 public:
  using Number = std::uintptr_t;
  // Turns the n-th id (1, 2, 3...) into a handle's number, in the form the layer's handles
  // take. The ids are distinct, so the numbers must be too.
  using NumberFor = Number (*)(Number id);

  explicit HandleTable(NumberFor numberFor = [](Number id) { return id; })
      : numberFor_(numberFor) {}

  // Stores `value` under a new handle and returns the handle's number.
  Number Add(Value value) {
    std::lock_guard lock(mutex_);
    const Number number = numberFor_(++lastId_);
    live_.emplace(number, std::move(value));
    return number;
  }

  // Runs `use(Value&)` with the table locked, so that the object cannot be removed
  // meanwhile. False, without running it, for a handle that names nothing.
  template <typename Use>
  bool With(Number number, Use&& use) {
    std::lock_guard lock(mutex_);
    const auto found = live_.find(number);
    if (found == live_.end()) return false;
    std::forward<Use>(use)(found->second);
    return true;
  }

  // Removes the object and hands it back, or nothing for a handle that names nothing.
  std::optional<Value> Take(Number number) {
    std::lock_guard lock(mutex_);
    const auto found = live_.find(number);
    if (found == live_.end()) return std::nullopt;
    std::optional<Value> value(std::move(found->second));
    live_.erase(found);
    return value;
  }

  std::size_t Size() const {
    std::lock_guard lock(mutex_);
    return live_.size();
  }

 private:
  const NumberFor numberFor_;
  mutable std::mutex mutex_;
  std::unordered_map<Number, Value> live_;
  Number lastId_ = 0;
};
