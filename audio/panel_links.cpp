#include "audio/panel_links.h"

#include <atomic>

#include "platform/thread/dispatcher.h"

namespace {

class NoPanel final : public PanelLinks {
 public:
  int CaptureDeviceNumber() override { return 0; }
  int PlaybackDeviceNumber() override { return 0; }
  bool EchoActive() override { return false; }
  void PaintProduceLed(TColor) override {}
  void AppendMemoLine(const std::string&) override {}
  void ShowMessage(const std::string&) override {}
};

NoPanel noPanel;
std::atomic<PanelLinks*> panel{&noPanel};

}  // namespace

void SetPanelLinks(PanelLinks* links) {
  panel.store(links ? links : &noPanel);
}
PanelLinks& Panel() {
  return *panel.load();
}

void ShowMessageFromService(const std::string& text) {
  PostToGui([text] { Panel().ShowMessage(text); });
}

void AppendMemoLineFromService(const std::string& line) {
  PostToGui([line] { Panel().AppendMemoLine(line); });
}
