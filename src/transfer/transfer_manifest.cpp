#include "transfer/transfer_manifest.h"

#include <boost/property_tree/ptree.hpp>
#include <cstdint>

#include "manifest/manifest_exceptions.h"

namespace ombrix {

namespace {

using boost::property_tree::ptree;

std::string RequiredText(const ptree& tree, const char* key) {
  const auto found = tree.find(key);
  if (found == tree.not_found() || !found->second.empty()) throw ManifestParseException();
  return found->second.data();
}

void AppendRecordString(std::string_view text, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (byte < 0x20) {
      const char escape[6] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
      out.append(escape, sizeof escape);
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
}

// A cursor over record text; every Parse* answers false on anything unexpected.
class RecordParser {
 public:
  explicit RecordParser(std::string_view text) : text(text) {}

  std::optional<ptree> ParseObject() {
    ptree tree;
    SkipSpace();
    if (!Take('{')) return std::nullopt;
    SkipSpace();
    if (!Take('}')) {
      do {
        std::string key;
        std::string value;
        SkipSpace();
        if (!ParseString(key)) return std::nullopt;
        SkipSpace();
        if (!Take(':')) return std::nullopt;
        SkipSpace();
        if (!ParseString(value)) return std::nullopt;
        if (tree.find(key) != tree.not_found()) return std::nullopt;
        tree.push_back(ptree::value_type(std::move(key), ptree(std::move(value))));
        SkipSpace();
      } while (Take(','));
      if (!Take('}')) return std::nullopt;
    }
    SkipSpace();
    if (position != text.size()) return std::nullopt;
    return tree;
  }

 private:
  bool Take(char c) {
    if (position < text.size() && text[position] == c) {
      ++position;
      return true;
    }
    return false;
  }

  void SkipSpace() {
    while (position < text.size() &&
           (text[position] == ' ' || text[position] == '\t' || text[position] == '\n' || text[position] == '\r')) {
      ++position;
    }
  }

  bool ParseHex4(std::uint32_t& value) {
    if (text.size() - position < 4) return false;
    value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text[position++];
      value <<= 4;
      if (c >= '0' && c <= '9') value |= static_cast<std::uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') value |= static_cast<std::uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') value |= static_cast<std::uint32_t>(c - 'A' + 10);
      else return false;
    }
    return true;
  }

  static void AppendUtf8(std::uint32_t code, std::string& out) {
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (code >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }

  bool ParseEscape(std::string& out) {
    if (position >= text.size()) return false;
    const char c = text[position++];
    switch (c) {
      case '"': case '\\': case '/': out.push_back(c); return true;
      case 'b': out.push_back('\b'); return true;
      case 'f': out.push_back('\f'); return true;
      case 'n': out.push_back('\n'); return true;
      case 'r': out.push_back('\r'); return true;
      case 't': out.push_back('\t'); return true;
      case 'u': break;
      default: return false;
    }
    std::uint32_t code = 0;
    if (!ParseHex4(code)) return false;
    if (code >= 0xDC00 && code <= 0xDFFF) return false;  // a lone low surrogate
    if (code >= 0xD800 && code <= 0xDBFF) {
      std::uint32_t low = 0;
      if (!Take('\\') || !Take('u') || !ParseHex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    AppendUtf8(code, out);
    return true;
  }

  bool ParseString(std::string& out) {
    if (!Take('"')) return false;
    while (position < text.size()) {
      const char c = text[position++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c == '\\') {
        if (!ParseEscape(out)) return false;
      } else {
        out.push_back(c);
      }
    }
    return false;
  }

  std::string_view text;
  std::size_t position = 0;
};

}  // namespace

void TransferManifest::Read(const ptree& tree) {
  TransferParams read;
  read.transferId = RequiredText(tree, "transferId");
  read.partnerId = RequiredText(tree, "partnerId");
  read.packageId = RequiredText(tree, "packageId");
  read.versionId = RequiredText(tree, "versionId");
  read.destPath = RequiredText(tree, "destPath");
  if (read.destPath.empty() || read.destPath.front() != '/') throw ManifestParseException();
  params = std::move(read);
}

void TransferManifest::Write(ptree& tree) const { params.Describe(tree); }

std::string WriteRecordJson(const ptree& tree) {
  std::string out;
  out.push_back('{');
  bool first = true;
  for (const auto& [key, child] : tree) {
    if (!first) out.push_back(',');
    first = false;
    AppendRecordString(key, out);
    out.push_back(':');
    AppendRecordString(child.data(), out);
  }
  out.append("}\n");
  return out;
}

std::optional<ptree> ReadRecordJson(std::string_view text) { return RecordParser(text).ParseObject(); }

}  // namespace ombrix
