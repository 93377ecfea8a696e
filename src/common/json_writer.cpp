#include "common/json_writer.h"

#include <array>
#include <boost/property_tree/ptree.hpp>
#include <cstdio>

namespace ombrix {

namespace {

using boost::property_tree::ptree;

// For each byte: 0 = written as it is, 1 = a two-character escape, 2 = \u00XX.
constexpr std::array<unsigned char, 256> MakeEscapeClass() {
  std::array<unsigned char, 256> table{};
  for (int c = 0; c < 256; ++c) {
    if (c < 32 || c >= 128) table[c] = 2;
  }
  for (unsigned char c : {'"', '\\', '/', '\b', '\f', '\n', '\r', '\t'}) table[c] = 1;
  return table;
}
constexpr std::array<unsigned char, 256> kEscapeClass = MakeEscapeClass();

char ShortEscape(unsigned char c) {
  switch (c) {
    case '\b': return 'b';
    case '\f': return 'f';
    case '\n': return 'n';
    case '\r': return 'r';
    case '\t': return 't';
    default: return static_cast<char>(c);  // '"', '\\', '/'
  }
}

bool IsArray(const ptree& node) {
  for (const auto& child : node) {
    if (!child.first.empty()) return false;
  }
  return true;
}

bool IsRepresentable(const ptree& node) {
  if (!node.empty() && !node.data().empty()) return false;
  for (const auto& child : node) {
    if (!IsRepresentable(child.second)) return false;
  }
  return true;
}

void WriteValue(const ptree& node, std::string& out);

void WriteChildren(const ptree& node, std::string& out) {
  const bool array = IsArray(node);
  out.push_back(array ? '[' : '{');
  bool first = true;
  for (const auto& child : node) {
    if (!first) out.push_back(',');
    first = false;
    if (!array) {
      AppendJsonString(child.first, out);
      out.push_back(':');
    }
    WriteValue(child.second, out);
  }
  out.push_back(array ? ']' : '}');
}

void WriteValue(const ptree& node, std::string& out) {
  if (!node.empty()) {
    WriteChildren(node, out);
  } else if (node.data() == kJsonEmptyObject) {
    out.append("{}");
  } else if (node.data() == kJsonEmptyArray) {
    out.append("[]");
  } else {
    AppendJsonString(node.data(), out);
  }
}

}  // namespace

void AppendJsonString(std::string_view text, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out.reserve(out.size() + text.size() + 2);
  out.push_back('"');
  std::size_t plainStart = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const unsigned char kind = kEscapeClass[c];
    if (kind == 0) continue;
    out.append(text.data() + plainStart, i - plainStart);
    plainStart = i + 1;
    if (kind == 1) {
      out.push_back('\\');
      out.push_back(ShortEscape(c));
    } else {
      const char escape[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
      out.append(escape, sizeof escape);
    }
  }
  out.append(text.data() + plainStart, text.size() - plainStart);
  out.push_back('"');
}

void WriteJson(const ptree& tree, std::string& out) {
  // Checked first so that a refused tree leaves nothing half-written behind.
  if (!IsRepresentable(tree)) throw JsonWriteException();
  if (tree.empty()) {
    out.append("[]");
  } else {
    WriteChildren(tree, out);
  }
  out.push_back('\n');
}

std::string ToJson(const ptree& tree) {
  std::string out;
  WriteJson(tree, out);
  return out;
}

std::string FormatJsonDouble(double value) {
  char buffer[32];
  const int length = std::snprintf(buffer, sizeof buffer, "%.16g", value);
  return std::string(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
}

}  // namespace ombrix
