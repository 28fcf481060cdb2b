// Says, cycle by cycle, what a listener hears of the live engine fed a steady sine: the
// level of each cycle of the recording (raw 16-bit stereo, left channel) against the
// input's. With "Concert Hall 1" and a tone whose cycles fit its taps (450 Hz at 44100 Hz),
// a period echoed right plays at 1.98 times the input; one played without its echo at
// about 1x, one echoed twice at about 3.92x. A whole buffer skipped, repeated or echoed
// twice keeps the waveform in phase, so only the level shows it.
//   level_count FILE.raw RATE SKIP_SECONDS SECONDS INPUT_PEAK
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Level {
  const char* name;
  double low;   // ratio to the input's peak, from
  double high;  // up to
  double seconds = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: level_count FILE.raw RATE SKIP_SECONDS SECONDS INPUT_PEAK\n");
    return 2;
  }
  std::FILE* file = std::fopen(argv[1], "rb");
  if (!file) {
    std::perror(argv[1]);
    return 2;
  }
  const long rate = std::atol(argv[2]);
  const auto skip = static_cast<std::size_t>(std::atof(argv[3]) * static_cast<double>(rate));
  const auto end = skip + static_cast<std::size_t>(std::atof(argv[4]) * static_cast<double>(rate));
  const double inputPeak = std::atof(argv[5]);
  std::vector<double> left;
  std::int16_t frame[2];
  while (left.size() < end && std::fread(frame, sizeof frame, 1, file) == 1)
    left.push_back(frame[0]);
  std::fclose(file);
  if (left.size() < end || inputPeak <= 0) {
    std::fprintf(stderr, "recording too short: %zu frames, %zu wanted\n", left.size(), end);
    return 2;
  }
  // The tone's cycle from the recording itself, by counting rising zero crossings.
  std::size_t crossings = 0;
  for (std::size_t n = skip + 1; n < end; ++n) crossings += left[n - 1] < 0 && left[n] >= 0;
  if (crossings < 2) {
    std::printf("%.1f s: no tone\n", static_cast<double>(end - skip) / static_cast<double>(rate));
    return 0;
  }
  const auto cycle = static_cast<std::size_t>(
      std::lround(static_cast<double>(end - skip) / static_cast<double>(crossings)));
  // Halfway, on a log scale, between neighbouring levels.
  Level levels[] = {{"silent", 0, 0.05},
                    {"echo missed (1x)", 0.7, 1.4},
                    {"right (1.98x)", 1.4, 2.78},
                    {"echoed twice (3.92x)", 2.78, 5.5}};
  double other = 0;
  const double cycleSeconds = static_cast<double>(cycle) / static_cast<double>(rate);
  for (std::size_t begin = skip; begin + cycle <= end; begin += cycle) {
    double peak = 0;
    for (std::size_t n = begin; n < begin + cycle; ++n) peak = std::fmax(peak, std::fabs(left[n]));
    const double ratio = peak / inputPeak;
    bool placed = false;
    for (Level& level : levels) {
      if (ratio >= level.low && ratio < level.high) {
        level.seconds += cycleSeconds;
        placed = true;
        break;
      }
    }
    if (!placed) other += cycleSeconds;
  }
  const double misEchoed = levels[1].seconds + levels[3].seconds + other;
  std::printf(
      "%.1f s: %.1f s right, mis-echoed %.1f s (%.1f s echo missed, %.1f s echoed twice, "
      "%.1f s other), %.1f s silent\n",
      static_cast<double>(end - skip) / static_cast<double>(rate), levels[2].seconds, misEchoed,
      levels[1].seconds, levels[3].seconds, other, levels[0].seconds);
  return 0;
}
