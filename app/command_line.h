// The desktop program's own options, read before Qt starts so that --help and --version
// work without a display (the man page's test reads them too). Every other argument is
// left for QApplication, which takes Qt's options such as -platform.
#pragma once

#include <optional>
#include <ostream>

// The exit status when an option asks only for text, or nothing when the program runs.
std::optional<int> HandleCommandLine(int argc, const char* const* argv, std::ostream& out);
