// A failed system call in plain words, as echora-cli's messages put it: what it could not do,
// then the system's reason ("cannot read it: Permission denied").
#pragma once

#include <string>
#include <system_error>

inline std::string ProblemWith(const std::string& action, int error) {
  return action + std::generic_category().message(error);
}
