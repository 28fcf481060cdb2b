// Checks a recording of the program's output against a recording of its input, both raw
// 16-bit stereo at the same rate and started together: the input holds one impulse, and
// the output must hold its echo, each tap of weight w at the tap's distance, all of it
// `latency` frames (within `slack`) after the input.
//   echo_check IN.raw OUT.raw DELAY_FRAMES STEP VOLUME LATENCY_FRAMES SLACK_FRAMES
// The echo reads ahead: the tap of weight step x (g + 1) lands g delays before the input's
// own time, so the loudest tap comes first.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<std::int16_t> LeftChannel(const char* path) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
  std::vector<std::int16_t> left;
  for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    left.push_back(static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[i]) |
                                             (static_cast<std::uint8_t>(bytes[i + 1]) << 8)));
  }
  return left;
}

std::size_t Loudest(const std::vector<std::int16_t>& samples) {
  return static_cast<std::size_t>(
      std::max_element(samples.begin(), samples.end(),
                       [](std::int16_t a, std::int16_t b) { return std::abs(a) < std::abs(b); }) -
      samples.begin());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 8) {
    std::fprintf(stderr, "usage: echo_check IN OUT DELAY STEP VOLUME LATENCY SLACK\n");
    return 2;
  }
  const std::vector<std::int16_t> in = LeftChannel(argv[1]);
  const std::vector<std::int16_t> out = LeftChannel(argv[2]);
  const long delay = std::atol(argv[3]);
  const int step = std::atoi(argv[4]);
  const int volume = std::atoi(argv[5]);
  const long latency = std::atol(argv[6]);
  const long slack = std::atol(argv[7]);
  if (in.empty() || out.empty()) {
    std::fprintf(stderr, "echo_check: a recording is empty\n");
    return 1;
  }
  const std::size_t impulseAt = Loudest(in);
  const int impulse = in[impulseAt];
  int taps = 0;
  while (step * (taps + 1) <= 100) ++taps;
  // The first tap is the loudest; where it lands fixes the others.
  const std::size_t firstAt = Loudest(out);
  const long lands = static_cast<long>(firstAt) + (taps - 1) * delay;
  bool ok = true;
  std::printf("impulse %d at frame %zu; output's loudest at frame %zu\n", impulse, impulseAt,
              firstAt);
  for (int g = taps - 1; g >= 0; --g) {
    const long at = lands - g * delay;
    const int expected = std::clamp(impulse * (step * (g + 1)) / 100 * volume / 100, -32768, 32767);
    const int heard =
        at >= 0 && at < static_cast<long>(out.size()) ? out[static_cast<std::size_t>(at)] : 0;
    std::printf("tap of weight %d at frame %ld: %d, expected %d\n", step * (g + 1), at, heard,
                expected);
    ok = ok && heard == expected;
  }
  const long measured = lands - static_cast<long>(impulseAt);
  std::printf("latency %ld frames, expected %ld to %ld\n", measured, latency, latency + slack);
  ok = ok && measured >= latency - slack / 10 && measured <= latency + slack;
  return ok ? 0 : 1;
}
