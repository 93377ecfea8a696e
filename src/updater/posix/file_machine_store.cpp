#include "updater/posix/file_machine_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "common/paths.h"
#include "updater/launch_options_loader.h"

namespace ombrix::updater::posix {

namespace {

// Splits at "\" and "/"; nothing when a component is empty, "." or "..".
std::optional<std::vector<std::string>> SplitKeyPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : path + '\\') {
    if (c != '\\' && c != '/') {
      current += c;
      continue;
    }
    if (current.empty() || current == "." || current == "..") return std::nullopt;
    parts.push_back(std::move(current));
    current.clear();
  }
  return parts;
}

// A whole regular file, or nothing when it is missing, not a regular file or larger
// than `limit` bytes.
std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t limit) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  std::optional<std::string> result;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    std::string content(limit + 1, '\0');
    std::size_t used = 0;
    while (used < content.size()) {
      ssize_t n = ::read(fd, content.data() + used, content.size() - used);
      if (n < 0) {
        used = content.size() + 1;  // read error: fail
        break;
      }
      if (n == 0) break;
      used += static_cast<std::size_t>(n);
    }
    if (used <= limit) {
      content.resize(used);
      result = std::move(content);
    }
  }
  ::close(fd);
  return result;
}

}  // namespace

FileMachineStore::FileMachineStore(std::string root) : root_(std::move(root)) {}

FileMachineStore FileMachineStore::FromEnvironment(const Environment& environment) {
  auto root = environment.Get(kMachineStoreVariable);
  return FileMachineStore(root && !root->empty() ? *root : kDefaultMachineStoreRoot);
}

std::string FileMachineStore::ReadString(const std::string& path) const {
  auto parts = SplitKeyPath(path);
  if (!parts) return "";
  std::string file = root_;
  for (const std::string& part : *parts) file = JoinPath(file, part);
  // Four UTF-8 bytes at most per UTF-16 unit, plus a trailing line break.
  auto content = ReadRegularFile(file, kMaxValueUnits * 4 + 2);
  if (!content) return "";
  std::string value = std::move(*content);
  if (auto nul = value.find('\0'); nul != std::string::npos) value.resize(nul);
  if (!value.empty() && value.back() == '\n') value.pop_back();
  if (!value.empty() && value.back() == '\r') value.pop_back();
  if (TruncateToUtf16Units(value, kMaxValueUnits).size() != value.size()) return "";
  return value;
}

}  // namespace ombrix::updater::posix
