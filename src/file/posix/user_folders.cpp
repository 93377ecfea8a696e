#include "file/posix/user_folders.h"

#include <sys/stat.h>

#include <fstream>

#include "common/paths.h"

namespace ombrix::file::posix {

namespace {

bool IsAbsolute(const std::optional<std::string>& path) {
  return path && !path->empty() && path->front() == '/';
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Reads the XDG_DESKTOP_DIR line of a user-dirs.dirs file: XDG_DESKTOP_DIR="$HOME/Desk".
std::string DesktopFromUserDirs(const std::string& file, const std::string& home) {
  std::ifstream in(file);
  std::string line;
  const std::string key = "XDG_DESKTOP_DIR=";
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    if (value.rfind("$HOME", 0) == 0) {
      if (home.empty()) return "";
      value = home + value.substr(5);
    }
    return value.empty() || value.front() != '/' ? "" : value;
  }
  return "";
}

}  // namespace

std::string TemporaryFolder(const Environment& environment) {
  if (auto tmp = environment.Get("TMPDIR"); IsAbsolute(tmp)) {
    std::string path = StripTrailingSlashes(*tmp);
    return IsDirectory(path) ? path : "";
  }
  std::string cache;
  if (auto xdg = environment.Get("XDG_CACHE_HOME"); IsAbsolute(xdg)) {
    cache = StripTrailingSlashes(*xdg);
  } else if (auto home = environment.Get("HOME"); IsAbsolute(home)) {
    cache = JoinPath(StripTrailingSlashes(*home), ".cache");
  } else {
    return "";
  }
  if (!IsDirectory(cache)) ::mkdir(cache.c_str(), 0700);
  return IsDirectory(cache) ? cache : "";
}

std::string DesktopFolder(const Environment& environment) {
  if (auto desktop = environment.Get("XDG_DESKTOP_DIR"); IsAbsolute(desktop)) {
    return StripTrailingSlashes(*desktop);
  }
  std::string home;
  if (auto value = environment.Get("HOME"); IsAbsolute(value)) home = StripTrailingSlashes(*value);
  std::string config;
  if (auto xdg = environment.Get("XDG_CONFIG_HOME"); IsAbsolute(xdg)) {
    config = StripTrailingSlashes(*xdg);
  } else if (!home.empty()) {
    config = JoinPath(home, ".config");
  }
  if (!config.empty()) {
    std::string fromFile = DesktopFromUserDirs(JoinPath(config, "user-dirs.dirs"), home);
    if (!fromFile.empty()) return StripTrailingSlashes(fromFile);
  }
  return home.empty() ? "" : JoinPath(home, "Desktop");
}

}  // namespace ombrix::file::posix
