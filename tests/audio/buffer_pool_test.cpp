// The pool: fresh blocks are silent, and a block that cannot be had is reported and kept
// away from the devices and the echo thread while the rest of the pool runs.
#include "audio/buffer_pool.h"

#include <gtest/gtest.h>

#include "audio/engine_state.h"
#include "platform/memory/global_memory_faults.h"
#include "tests/support/engine_rig.h"

TEST(BufferPool, EveryBlockIsAllocatedSilentAndUnprepared) {
  EngineRig rig(44100, 8);
  EXPECT_EQ(BufferSize, 352800);
  AllocateBuffers();
  for (int k = 0; k < kPoolBuffers; ++k) {
    ASSERT_NE(BufferData[k], nullptr);
    EXPECT_EQ(WaveHeader[k].lpData, reinterpret_cast<char*>(BufferData[k].load()));
    EXPECT_EQ(WaveHeader[k].dwBufferLength, 352800u);
    EXPECT_EQ(WaveHeader[k].dwFlags, 0u);
    const std::int16_t* data = BufferData[k];
    EXPECT_TRUE(std::all_of(data, data + 176400, [](auto s) { return s == 0; }));
  }
  EXPECT_TRUE(rig.panel.Memo().empty());
  FreeBuffers();
}

TEST(BufferPool, PlaysSilenceBeforeCaptureFillsItEvenAfterALoudRun) {
  EngineRig rig;
  rig.card.SetCaptureSource(0, MakeSine(440, 30000));
  rig.PowerOn();
  rig.RunPeriods(10);
  rig.PowerOff();
  rig.card.TakePlayed(0);
  rig.PowerOn();
  rig.RunPeriods(5);
  const auto played = rig.card.Played(0);
  ASSERT_EQ(played.size(), 5u * 2 * rig.PeriodFrames());
  EXPECT_TRUE(std::all_of(played.begin(), played.end(), [](auto s) { return s == 0; }));
}

TEST(BufferPool, EachBlockThatCannotBeHadGetsOneLineAndTheOthersAreAllocated) {
  EngineRig rig;
  {
    ScopedGlobalAllocFaults faults({2, 5});
    AllocateBuffers();
  }
  EXPECT_EQ(rig.panel.Memo(),
            (std::vector<std::string>{"GlobalAlloc ERROR!", "GlobalAlloc ERROR!"}));
  for (int k = 0; k < kPoolBuffers; ++k) {
    EXPECT_EQ(BufferData[k] == nullptr, k == 2 || k == 5) << k;
  }
  FreeBuffers();
}

TEST(BufferPool, PowerOnGoesOnWithoutAMissingBlockAndNothingTouchesIt) {
  EngineRig rig;
  rig.card.SetCaptureSource(0, MakeSine(300, 10000));
  {
    ScopedGlobalAllocFaults faults({3});
    rig.PowerOn();
  }
  // Twenty periods: the ring passes the missing buffer 3 on both devices and in the echo
  // pass several times. The devices refuse its header; nothing reads or writes it.
  rig.RunPeriods(20);
  rig.Pump();
  const auto memo = rig.panel.Memo();
  ASSERT_FALSE(memo.empty());
  EXPECT_EQ(memo.front(), "GlobalAlloc ERROR!");
  EXPECT_FALSE(rig.panel.Messages().empty());  // the handlers report the refused header
  // Sound still flows through the other buffers.
  const auto played = rig.card.Played(0);
  EXPECT_TRUE(std::any_of(played.begin(), played.end(), [](auto s) { return s != 0; }));
  rig.PowerOff();
}
