#include "file/posix/mount_table.h"

#include <fstream>
#include <sstream>

namespace ombrix::file::posix {

namespace {

// mountinfo writes space, tab, newline and backslash as \ooo (octal).
std::string Decode(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string digits = field.substr(i + 1, 3);
      if (digits.find_first_not_of("01234567") == std::string::npos) {
        out.push_back(static_cast<char>(std::stoi(digits, nullptr, 8)));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

bool ParseDevice(const std::string& text, Mount& mount) {
  const auto colon = text.find(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size()) return false;
  try {
    mount.major = static_cast<std::uint32_t>(std::stoul(text.substr(0, colon)));
    mount.minor = static_cast<std::uint32_t>(std::stoul(text.substr(colon + 1)));
  } catch (...) {
    return false;
  }
  return true;
}

// Whether `prefix` is `path` or one of its ancestors, element by element.
bool IsAncestorOrSelf(const std::string& prefix, const std::string& path) {
  if (prefix == "/") return !path.empty() && path.front() == '/';
  if (path.compare(0, prefix.size(), prefix) != 0) return false;
  return path.size() == prefix.size() || path[prefix.size()] == '/';
}

}  // namespace

std::optional<MountTable> MountTable::Read(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return Parse(text.str());
}

MountTable MountTable::Parse(const std::string& text) {
  MountTable table;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    // id parent major:minor root mountPoint options [optional...] - type source superOptions
    std::istringstream fields(line);
    std::vector<std::string> parts;
    for (std::string part; fields >> part;) parts.push_back(part);
    std::size_t dash = 6;
    while (dash < parts.size() && parts[dash] != "-") ++dash;
    if (parts.size() < 6 || dash + 2 >= parts.size()) continue;
    Mount mount;
    if (!ParseDevice(parts[2], mount)) continue;
    mount.mountPoint = Decode(parts[4]);
    mount.fileSystemType = Decode(parts[dash + 1]);
    mount.source = Decode(parts[dash + 2]);
    if (mount.mountPoint.empty() || mount.mountPoint.front() != '/') continue;
    table.mounts_.push_back(std::move(mount));
  }
  return table;
}

std::optional<Mount> MountTable::Find(const std::string& absolutePath) const {
  const Mount* best = nullptr;
  for (const Mount& mount : mounts_) {
    if (!IsAncestorOrSelf(mount.mountPoint, absolutePath)) continue;
    if (best == nullptr || mount.mountPoint.size() >= best->mountPoint.size()) best = &mount;
  }
  if (best == nullptr) return std::nullopt;
  return *best;
}

std::optional<Mount> MountTable::AtMountPoint(const std::string& mountPoint) const {
  const Mount* found = nullptr;
  for (const Mount& mount : mounts_) {
    if (mount.mountPoint == mountPoint) found = &mount;
  }
  if (found == nullptr) return std::nullopt;
  return *found;
}

}  // namespace ombrix::file::posix
