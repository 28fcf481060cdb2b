#include "audio/buffer_pool.h"

#include "audio/engine_state.h"
#include "audio/panel_links.h"

void AllocateBuffers() {
  bool whole = true;
  for (int k = 0; k < kPoolBuffers; ++k) {
    // Zero-filled, so that the buffers played before capture has filled them are silence
    // rather than whatever the memory held.
    BufferHandle[k] = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, BufferSize.load());
    if (BufferHandle[k] == nullptr) {
      Panel().AppendMemoLine("GlobalAlloc ERROR!");
      whole = false;
    }
    BufferData[k] = static_cast<std::int16_t*>(GlobalLock(BufferHandle[k]));
    WaveHeader[k].lpData = reinterpret_cast<char*>(BufferData[k].load());
    WaveHeader[k].dwBufferLength = static_cast<DWORD>(BufferSize.load());
    WaveHeader[k].dwFlags = 0;
  }
  if (!whole) FreeBuffers();
}

bool BuffersAllocated() {
  for (int k = 0; k < kPoolBuffers; ++k) {
    if (BufferData[k] == nullptr) return false;
  }
  return true;
}

void FreeBuffers() {
  for (int k = 0; k < kPoolBuffers; ++k) {
    GlobalUnlock(BufferHandle[k]);
    GlobalFree(BufferHandle[k]);
    // Nothing may use a freed block: no header keeps its address.
    BufferHandle[k] = nullptr;
    BufferData[k] = nullptr;
    WaveHeader[k].lpData = nullptr;
  }
}
