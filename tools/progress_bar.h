// How far a render has come, as one line redrawn in place on a terminal. Anywhere else (a
// log, a pipe) it shows nothing: redrawn lines would only pile up there.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

class ProgressBar {
 public:
  // Draws on `out` only when `terminal`.
  ProgressBar(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}

  // `done` periods of `total`; with no total (a stream of unknown length), the seconds of
  // sound done so far, at `periodSeconds` a period. Redraws only when the text changes.
  void Show(std::int64_t done, std::optional<std::int64_t> total, double periodSeconds);
  // Ends the line, if one was drawn.
  void Finish();

 private:
  std::ostream& out_;
  const bool terminal_;
  std::string shown_;
};
