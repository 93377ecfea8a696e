// Small helpers shared by the download benchmark drivers.
#pragma once

#include <sys/resource.h>

#include <sstream>
#include <string>
#include <vector>

namespace ombrix::bench {

// User plus system time of the whole process so far.
inline double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The non-empty pieces of `text` between separators.
inline std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, separator);) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

}  // namespace ombrix::bench
