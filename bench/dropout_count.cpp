// Counts the dropouts in a recording of a steady sine: raw 16-bit stereo, left channel. A
// pure sine obeys s[n] = 2 cos(w) s[n-1] - s[n-2]; a gap of silence, a repeated or a lost
// stretch breaks that, and each run of broken samples close together is one dropout. The
// frequency is found from the recording itself.
//   dropout_count FILE.raw RATE SKIP_SECONDS SECONDS: the stretch looked at
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: dropout_count FILE.raw RATE SKIP_SECONDS SECONDS\n");
    return 2;
  }
  std::FILE* file = std::fopen(argv[1], "rb");
  if (!file) {
    std::perror(argv[1]);
    return 2;
  }
  const long rate = std::atol(argv[2]);
  const auto skip = static_cast<std::size_t>(std::atof(argv[3]) * static_cast<double>(rate));
  std::vector<double> left;
  std::int16_t frame[2];
  const auto end = skip + static_cast<std::size_t>(std::atof(argv[4]) * static_cast<double>(rate));
  while (left.size() < end && std::fread(frame, sizeof frame, 1, file) == 1) {
    left.push_back(frame[0]);
  }
  std::fclose(file);
  if (left.size() < end) {
    std::fprintf(stderr, "recording too short: %zu frames, %zu wanted\n", left.size(), end);
    return 2;
  }
  // cos(w) from the whole stretch, by least squares on s[n] + s[n-2] = 2 cos(w) s[n-1].
  double numerator = 0;
  double denominator = 0;
  for (std::size_t n = skip + 2; n < left.size(); ++n) {
    numerator += (left[n] + left[n - 2]) * left[n - 1];
    denominator += left[n - 1] * left[n - 1];
  }
  const double twoCos = numerator / denominator;
  double peak = 0;
  for (std::size_t n = skip; n < left.size(); ++n) peak = std::fmax(peak, std::fabs(left[n]));
  // Rounding to 16 bits leaves an error of a few units; a dropout breaks the rule by a good
  // part of the amplitude.
  const double threshold = 0.05 * peak;
  std::size_t dropouts = 0;
  std::size_t brokenFrames = 0;
  std::size_t lastBroken = 0;
  for (std::size_t n = skip + 2; n < left.size(); ++n) {
    if (std::fabs(left[n] - twoCos * left[n - 1] + left[n - 2]) <= threshold) continue;
    ++brokenFrames;
    if (lastBroken == 0 || n - lastBroken > static_cast<std::size_t>(rate / 100)) ++dropouts;
    lastBroken = n;
  }
  std::printf("%zu dropouts (%zu broken frames) in %.1f s at %.1f Hz, peak %.0f\n", dropouts,
              brokenFrames, static_cast<double>(left.size() - skip) / static_cast<double>(rate),
              std::acos(twoCos / 2) * static_cast<double>(rate) / (2 * M_PI), peak);
  return 0;
}
