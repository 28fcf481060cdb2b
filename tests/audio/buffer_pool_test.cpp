// The pool: fresh blocks are silent, and a pool that cannot be had whole is reported and
// given back, so that no device and no echo pass ever meets a buffer without memory.
#include "audio/buffer_pool.h"

#include <gtest/gtest.h>

#include "audio/engine_state.h"
#include "echo/processor_power.h"
#include "platform/memory/global_memory.h"
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

TEST(BufferPool, EachBlockThatCannotBeHadGetsOneLineAndThePoolIsGivenBack) {
  EngineRig rig;
  {
    ScopedGlobalAllocFaults faults({2, 5});
    AllocateBuffers();
  }
  EXPECT_EQ(rig.panel.Memo(),
            (std::vector<std::string>{"GlobalAlloc ERROR!", "GlobalAlloc ERROR!"}));
  EXPECT_FALSE(BuffersAllocated());
  EXPECT_EQ(GlobalLiveBlocks(), 0u);
  for (int k = 0; k < kPoolBuffers; ++k) {
    EXPECT_EQ(BufferData[k], nullptr) << k;
    EXPECT_EQ(WaveHeader[k].lpData, nullptr) << k;
  }
}

// Each device holds two buffers of the ring: one missing buffer would leave a queue empty
// when the ring reached it, and both streams would stop for good a few periods in. The
// power-on gives up instead, in order and with its reason, and the next one runs whole.
TEST(BufferPool, APowerOnThatCannotHaveItsPoolStartsNothingAndTheNextRunsWhole) {
  EngineRig rig(5510, 2);
  ASSERT_EQ(BufferSize, 11020);
  rig.card.SetCaptureSource(0, MakeSine(300, 10000));
  {
    ScopedGlobalAllocFaults faults({5});
    rig.PowerOn();
  }
  EXPECT_EQ(rig.panel.Memo(), (std::vector<std::string>{"GlobalAlloc ERROR!", kPowerOnGivenUp}));
  EXPECT_FALSE(InputActive || OutputActive);
  EXPECT_FALSE(rig.echo.Running());
  rig.RunPeriods(3);
  EXPECT_TRUE(rig.card.Played(0).empty());  // no device was opened
  rig.PowerOff();
  EXPECT_EQ(rig.panel.Memo().size(), 2u);  // stopping what never started says nothing
  EXPECT_TRUE(rig.panel.Messages().empty());
  EXPECT_EQ(GlobalLiveBlocks(), 0u);

  rig.PowerOn();
  rig.RunPeriods(24);
  EXPECT_EQ(rig.card.OverflowFrames(0), 0u);   // capture lost nothing
  EXPECT_EQ(rig.card.UnderflowFrames(0), 0u);  // playback always had a buffer queued
  const auto played = rig.card.Played(0);
  EXPECT_EQ(played.size(), 24u * 2 * rig.PeriodFrames());
  EXPECT_TRUE(std::any_of(played.end() - 2 * rig.PeriodFrames(), played.end(),
                          [](auto s) { return s != 0; }));  // the last period still sounds
  rig.PowerOff();
  EXPECT_EQ(rig.panel.Memo().size(), 2u);
}
