#include "updater/posix/resource_string_table.h"

#include <fstream>
#include <optional>
#include <sstream>

extern const unsigned char kStringTableResource[];
extern const std::size_t kStringTableResourceSize;

namespace ombrix::updater::posix {

namespace {

std::string Unescape(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      char next = text[i + 1];
      if (next == 'n' || next == 't' || next == '\\') {
        result += next == 'n' ? '\n' : next == 't' ? '\t' : '\\';
        ++i;
        continue;
      }
    }
    result += text[i];
  }
  return result;
}

std::optional<std::string> ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string content(kMaxStringTableFileBytes + 1, '\0');
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  if (in.bad()) return std::nullopt;  // a folder opens but cannot be read
  content.resize(static_cast<std::size_t>(in.gcount()));
  if (content.size() > kMaxStringTableFileBytes) return std::nullopt;
  return content;
}

}  // namespace

ResourceStringTable::ResourceStringTable(const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t digits = 0;
    while (digits < line.size() && digits < 9 && line[digits] >= '0' && line[digits] <= '9') {
      ++digits;
    }
    if (digits == 0 || digits >= line.size() || line[digits] != '=') continue;
    entries_[static_cast<unsigned>(std::stoul(line.substr(0, digits)))] =
        Unescape(line.substr(digits + 1));
  }
}

std::unique_ptr<ResourceStringTable> ResourceStringTable::Embedded() {
  return std::make_unique<ResourceStringTable>(
      std::string(reinterpret_cast<const char*>(kStringTableResource), kStringTableResourceSize));
}

std::unique_ptr<ResourceStringTable> ResourceStringTable::Open(const Environment& environment) {
  if (auto path = environment.Get(kStringTableVariable); path && !path->empty()) {
    if (auto content = ReadSmallFile(*path)) return std::make_unique<ResourceStringTable>(*content);
  }
  return Embedded();
}

std::string ResourceStringTable::Load(unsigned id) const {
  auto found = entries_.find(id);
  return found == entries_.end() ? "" : found->second;
}

}  // namespace ombrix::updater::posix
