// The engine's only contact with the control panel: the two device numbers, the "Echo
// active" tick, the produce LED, the debug memo and message boxes. The window implements
// it; so do the renderer and the tests.
#pragma once

#include <string>

#include "platform/colors.h"

class PanelLinks {
 public:
  virtual ~PanelLinks() = default;

  // The capture and playback device numbers the selectors show. GUI thread.
  virtual int CaptureDeviceNumber() = 0;
  virtual int PlaybackDeviceNumber() = 0;
  // The stored tick of "Echo active". Called from the echo thread, so it reads an atomic
  // copy of the tick; whoever changes the tick calls WakeEchoThread() afterwards, so that a
  // waiting echo thread notices at once.
  virtual bool EchoActive() = 0;
  // Paints the produce LED. GUI thread.
  virtual void PaintProduceLed(TColor colour) = 0;
  // Appends a line to the debug memo. GUI thread.
  virtual void AppendMemoLine(const std::string& line) = 0;
  // A modal message box with an OK button, captioned with the program's title. GUI thread;
  // the service threads reach it through ShowMessageFromService().
  virtual void ShowMessage(const std::string& text) = 0;
};

// Installs the panel the engine reports to; nullptr restores a panel that shows nothing,
// with device 0 on both sides and "Echo active" unticked.
void SetPanelLinks(PanelLinks* links);
PanelLinks& Panel();

// Hands a message box to the GUI thread without waiting for it to be closed, so that a
// completion handler never blocks its device's service thread on a dialog. Any thread.
void ShowMessageFromService(const std::string& text);
// Hands a memo line to the GUI thread the same way. Any thread.
void AppendMemoLineFromService(const std::string& line);
