// The Linux side of the operating system name: os-release and uname.
#include <sys/utsname.h>

#include <fstream>
#include <iterator>
#include <string_view>

#include "events/os_name.h"

namespace ombrix {

namespace {

constexpr std::size_t kMaxPrettyNameBytes = 128;
constexpr std::size_t kMaxOsReleaseBytes = 64 * 1024;

// The value part of an os-release line, unquoted the way a shell would read it:
// double quotes allow the escapes \" \\ \$ \` ; single quotes are literal; outside
// quotes a backslash takes the next byte literally.
std::string Unquote(std::string_view value) {
  std::string out;
  char quote = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (quote == '\'') {
      if (c == '\'') quote = 0; else out.push_back(c);
    } else if (quote == '"') {
      if (c == '"') {
        quote = 0;
      } else if (c == '\\' && i + 1 < value.size() &&
                 std::string_view("\"\\$`").find(value[i + 1]) != std::string_view::npos) {
        out.push_back(value[++i]);
      } else {
        out.push_back(c);
      }
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '\\' && i + 1 < value.size()) {
      out.push_back(value[++i]);
    } else if (c == '#' && (i == 0 || value[i - 1] == ' ' || value[i - 1] == '\t')) {
      break;  // a comment after the value
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string Prepare(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte == 127) continue;
    out.push_back(c);
  }
  // Trim surrounding blanks, then cut without splitting a UTF-8 sequence.
  const std::size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  out = out.substr(first, out.find_last_not_of(' ') - first + 1);
  if (out.size() > kMaxPrettyNameBytes) {
    std::size_t cut = kMaxPrettyNameBytes;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
  }
  return out;
}

bool ReadSmallFile(const std::filesystem::path& path, std::string& content) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) return false;
  content.assign(kMaxOsReleaseBytes, '\0');
  stream.read(content.data(), static_cast<std::streamsize>(content.size()));
  content.resize(static_cast<std::size_t>(stream.gcount()));
  return true;
}

std::string KernelRelease() {
  utsname names{};
  if (uname(&names) != 0) return {};
  return names.release;
}

}  // namespace

std::string ParseOsReleasePrettyName(const std::string& content) {
  std::string_view rest(content);
  std::string found;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos) continue;
    line.remove_prefix(start);
    constexpr std::string_view kKey = "PRETTY_NAME=";
    if (line.substr(0, kKey.size()) != kKey) continue;
    found = Unquote(line.substr(kKey.size()));  // the last assignment wins, as in a shell
  }
  return Prepare(found);
}

std::string LinuxOsName(const std::filesystem::path& root, const std::string& kernelRelease) {
  std::string content;
  if (!ReadSmallFile(root / "etc/os-release", content)) {
    if (!ReadSmallFile(root / "usr/lib/os-release", content)) content.clear();
  }
  std::string name = "Linux";
  const std::string pretty = ParseOsReleasePrettyName(content);
  if (!pretty.empty()) name += " " + pretty;
  const std::string release = Prepare(kernelRelease);
  if (!release.empty()) name += " " + release;
  return name;
}

const std::string& GetOsName() {
  static const std::string name = LinuxOsName("/", KernelRelease());
  return name;
}

namespace {
// Computes the name during static initialization, before any thread can ask.
[[maybe_unused]] const std::string& kOsNameAtStartUp = GetOsName();
}  // namespace

}  // namespace ombrix
