// The capture and playback streams: their open routines, start and stop sequences, and the
// completion handlers that keep two buffers queued on each device and announce each buffer
// period to the echo thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/waveaudio/mmsystem.h"

// The stream formats, filled afresh by every open from the SampleRate of that moment.
extern WAVEFORMATEX InFormat;
extern WAVEFORMATEX OutFormat;

// Open the device with that number in the stream format, with the stream's completion
// handler; true when it opened. GUI thread.
bool OpenWaveIn(std::int32_t DeviceId);
bool OpenWaveOut(std::int32_t DeviceId);

// GUI thread, in the order capture start, playback start ... capture stop, playback stop.
void StartCapture();
void StartPlayback();
void StopCapture();
void StopPlayback();

// Completion handlers. Called on the device's service thread, one notice at a time.
void WaveInDone(HWAVEIN hwi, UINT uMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                DWORD_PTR dwParam2);
void WaveOutDone(HWAVEOUT hwo, UINT uMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                 DWORD_PTR dwParam2);

// Called by each completion handler, with its notice, after it has found its stream active
// and before it queues the next buffer: the window in which a stop can race it. Empty in
// the program; a test holds a completion here to make that race happen every time. Service
// thread.
using CompletionHook = void (*)(UINT uMsg);
extern std::atomic<CompletionHook> CompletionQueueingHook;
