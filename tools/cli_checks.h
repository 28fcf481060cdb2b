// What echora-cli checks on its command line before CLI11 parses it, and the value checks
// it gives CLI11, each saying in plain words what it wanted: an unknown word is named with
// the nearest known one, a refused value with what would have been taken.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The known word nearest to `word` when it is near enough to be what was meant (a typing
// slip, not another word).
std::optional<std::string> NearestWord(const std::string& word,
                                       const std::vector<std::string>& known);

// A value that looks like an option is refused, so that `--server --seconds 2` does not
// talk to a server named "--seconds"; a minus sign before a digit is left to the range
// checks.
extern const CLI::Validator kNotAnOption;
// A whole number from `least` to `most`.
CLI::Validator WholeNumber(std::int64_t least, std::int64_t most);
// A number above 0, fractions allowed.
extern const CLI::Validator kAboveZero;
// One of the processor's rates, in whole hertz.
CLI::Validator ProcessorRate();
// The name of one of the presets, exactly.
CLI::Validator PresetName();

// The first word on the command line that `app` cannot take, as a one-line complaint with
// the nearest word it knows: an unknown command or option, or a file name that begins
// with a dash before "--". Nothing when every word is known; what else is wrong (missing
// or extra file names, values) is left to CLI11.
std::optional<std::string> UnknownWord(const CLI::App& app, int argc, const char* const* argv);
