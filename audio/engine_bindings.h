// What the engine runs against: a sound driver, the queue its GUI-thread calls go to, and
// the panel it reports through, installed together for as long as an instance lives, and
// uninstalled in the reverse order. Every front end (the window excepted, which is its own
// panel on Qt's dispatcher), the test rigs and the benchmarks use it.
#pragma once

class Dispatcher;
class PanelLinks;
class WaveDriver;

class EngineBindings {
 public:
  EngineBindings(WaveDriver& driver, Dispatcher& gui, PanelLinks& panel);
  ~EngineBindings();
  EngineBindings(const EngineBindings&) = delete;
  EngineBindings& operator=(const EngineBindings&) = delete;
};
