#include "tools/cli_checks.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <numeric>

#include "audio/buffer_rules.h"
#include "echo/echo_rules.h"

namespace {

std::size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  std::iota(row.begin(), row.end(), 0);
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                        std::tolower(static_cast<unsigned char>(b[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string DidYouMean(const std::string& word, const std::vector<std::string>& known) {
  const std::optional<std::string> nearest = NearestWord(word, known);
  return nearest ? "; did you mean " + *nearest + "?" : "";
}

bool LooksLikeOption(const std::string& word) {
  return word.size() > 1 && word[0] == '-' &&
         (word[1] == '-' || !std::isdigit(static_cast<unsigned char>(word[1])));
}

// The option names `command` takes, with whether each takes a value.
std::vector<std::pair<std::string, bool>> OptionNames(const CLI::App& command) {
  std::vector<std::pair<std::string, bool>> names;
  for (const CLI::Option* option : command.get_options()) {
    const bool value = option->get_items_expected_max() > 0;
    for (const std::string& l : option->get_lnames()) names.emplace_back("--" + l, value);
    for (const std::string& s : option->get_snames()) names.emplace_back("-" + s, value);
  }
  return names;
}

}  // namespace

std::optional<std::string> NearestWord(const std::string& word,
                                       const std::vector<std::string>& known) {
  std::optional<std::string> best;
  std::size_t bestDistance = std::max<std::size_t>(2, word.size() / 3) + 1;
  for (const std::string& candidate : known) {
    const std::size_t d = EditDistance(word, candidate);
    if (d < bestDistance) {
      bestDistance = d;
      best = candidate;
    }
  }
  return best;
}

const CLI::Validator kNotAnOption(
    [](const std::string& value) -> std::string {
      return LooksLikeOption(value) ? "needs a value before the option " + value : "";
    },
    "");

CLI::Validator WholeNumber(std::int64_t least, std::int64_t most) {
  return CLI::Validator(
      [least, most](const std::string& value) -> std::string {
        std::int64_t n = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), n);
        if (error == std::errc() && end == value.data() + value.size() && n >= least && n <= most) {
          return "";
        }
        return value + " is not a whole number from " + std::to_string(least) + " to " +
               std::to_string(most);
      },
      "");
}

const CLI::Validator kAboveZero(
    [](const std::string& value) -> std::string {
      double number = 0;
      return CLI::detail::lexical_cast(value, number) && number > 0
                 ? ""
                 : value + " is not a number above 0";
    },
    "");

CLI::Validator ProcessorRate() {
  return CLI::Validator(
      [](const std::string& value) -> std::string {
        std::int32_t hz = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), hz);
        if (error == std::errc() && end == value.data() + value.size() && IsSelectableRate(hz)) {
          return "";
        }
        std::string rates;
        for (std::int32_t r : kSampleRates)
          rates += (rates.empty() ? "" : ", ") + std::to_string(r);
        return value + " is not one of the processor's rates, in whole hertz: " + rates;
      },
      "");
}

CLI::Validator PresetName() {
  return CLI::Validator(
      [](const std::string& value) -> std::string {
        if (PresetIndex(value) >= 0) return "";
        std::vector<std::string> names;
        for (const Preset& p : kPresets) names.emplace_back(p.name);
        const std::optional<std::string> nearest = NearestWord(value, names);
        return "no preset is called \"" + value + "\"" +
               (nearest ? "; did you mean \"" + *nearest + "\"?" : "");
      },
      "");
}

std::optional<std::string> UnknownWord(const CLI::App& app, int argc, const char* const* argv) {
  if (argc < 2) return std::nullopt;
  const std::string first = argv[1];
  std::vector<std::string> commands;
  for (const CLI::App* command : app.get_subcommands({})) commands.push_back(command->get_name());
  const CLI::App* command = nullptr;
  for (const CLI::App* c : app.get_subcommands({})) {
    if (c->get_name() == first) command = c;
  }
  if (command == nullptr) {
    std::vector<std::string> known = commands;
    for (const auto& [name, value] : OptionNames(app)) known.push_back(name);
    if (std::find(known.begin(), known.end(), first) != known.end()) return std::nullopt;
    if (LooksLikeOption(first)) return "unknown option " + first + DidYouMean(first, known);
    return "unknown command \"" + first + "\"" + DidYouMean(first, commands) +
           " (the commands are render, devices and live)";
  }
  const std::vector<std::pair<std::string, bool>> options = OptionNames(*command);
  std::vector<std::string> names;
  for (const auto& [name, value] : options) names.push_back(name);
  for (int i = 2; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--") break;
    if (!LooksLikeOption(word)) continue;
    const std::string name = word.substr(0, word.find('='));
    const auto known = std::find_if(options.begin(), options.end(),
                                    [&](const auto& o) { return o.first == name; });
    if (known == options.end()) {
      const std::string near = DidYouMean(name, names);
      const bool fileName =
          !name.starts_with("--") || name.find_first_of("./") != std::string::npos;
      if (!near.empty() || !fileName) {
        return "unknown option " + name + " for " + command->get_name() + near;
      }
      return "unknown option " + name + " for " + command->get_name() +
             "; a file name that begins with a dash goes after \"--\", as in: echora-cli " +
             command->get_name() + " INPUT -- " + word;
    }
    // Its value is the next word, whatever it looks like; CLI11 says if it is wrong.
    if (known->second && name == word) ++i;
  }
  return std::nullopt;
}
