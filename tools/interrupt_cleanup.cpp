#include "tools/interrupt_cleanup.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

// The handler may only read what was complete before it was published: the name is written
// into the buffer not in use, then published by one atomic store (sequentially consistent,
// so the handler, which loads it, sees the whole name).
char names[2][PATH_MAX];
std::atomic<const char*> partialFile{nullptr};
std::atomic<bool> deferring{false};
std::atomic<int> deferredSignal{0};
// What became of the output, once that is settled: said by any later interruption.
std::atomic<const char*> outcome{nullptr};

void Say(const char* text) {
  // Nothing to do if stderr is gone: the program is ending anyway.
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, text, std::strlen(text));
}

[[noreturn]] void EndBy(int signal) {
  // Blocked while a handler runs, the signal ends the program as soon as it returns; from
  // ordinary code, raising it with the default action ends it at once.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
  ::_exit(128 + signal);
}

extern "C" void RemovePartialFileAndEnd(int signal) {
  if (deferring.load()) {
    deferredSignal.store(signal);
    return;
  }
  const char* path = partialFile.exchange(nullptr);
  const char* settled = outcome.load();
  if (path != nullptr && ::unlink(path) == 0) {
    Say("echora-cli: interrupted; the unfinished output was removed\n");
  } else if (settled != nullptr) {
    Say("echora-cli: interrupted; ");
    Say(settled);
    Say("\n");
  } else {
    Say("echora-cli: interrupted\n");
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

void InstallInterruptCleanup() {
  struct sigaction action {};
  action.sa_handler = &RemovePartialFileAndEnd;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

void RemoveOnInterrupt(const std::string& path) {
  char* name = partialFile.load() == names[0] ? names[1] : names[0];
  const std::size_t length = std::min(path.size(), sizeof names[0] - 1);
  std::memcpy(name, path.data(), length);
  name[length] = '\0';
  partialFile.store(name);
}

void KeepOnInterrupt() {
  partialFile.store(nullptr);
}

void DeferInterrupts() {
  deferring.store(true);
}

void EndDeferral(const char* settled) {
  outcome.store(settled);
  deferring.store(false);
  const int signal = deferredSignal.exchange(0);
  if (signal == 0) return;
  Say("echora-cli: interrupted; ");
  Say(settled);
  Say("\n");
  EndBy(signal);
}
