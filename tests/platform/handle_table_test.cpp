// The handle table under the three call layers: stale handles stay dead, and handles made
// on many threads at once are distinct.
#include "platform/handle_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

TEST(HandleTable, AClosedHandleNamesNothingEvenAfterLaterAdds) {
  HandleTable<std::string> table([](std::uintptr_t id) { return 0x100 + id * 0x10; });
  const auto first = table.Add("first");
  EXPECT_EQ(first, 0x110u);
  EXPECT_EQ(table.Take(first), "first");
  EXPECT_EQ(table.Take(first), std::nullopt);

  const auto second = table.Add("second");
  EXPECT_NE(second, first);
  bool ran = false;
  EXPECT_FALSE(table.With(first, [&](std::string&) { ran = true; }));
  EXPECT_FALSE(ran);
  EXPECT_TRUE(table.With(second, [](std::string& value) { value += "!"; }));
  EXPECT_EQ(table.Take(second), "second!");
  EXPECT_EQ(table.Size(), 0u);
}

TEST(HandleTable, HandlesMadeOnManyThreadsAtOnceAreDistinct) {
  HandleTable<int> table;
  constexpr int kThreads = 4;
  constexpr int kEach = 500;
  std::vector<std::vector<std::uintptr_t>> made(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        made[t].push_back(table.Add(i));
        if (i % 2) table.Take(made[t].back());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::set<std::uintptr_t> all;
  for (const auto& handles : made) all.insert(handles.begin(), handles.end());
  EXPECT_EQ(all.size(), std::size_t{kThreads * kEach});
  EXPECT_EQ(table.Size(), std::size_t{kThreads * kEach / 2});
}
