#include "manifest/manifest_document.h"

#include <istream>
#include <sstream>
#include <vector>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include "manifest/manifest_exceptions.h"

namespace ombrix {

namespace {

using boost::property_tree::ptree;

const char kAttributes[] = "<xmlattr>";

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Finds the deepest element nesting of `text`, stopping as soon as it passes
// `limit`. Comments, CDATA sections, processing instructions and declarations do
// not nest; a tag's end is searched with quoted attribute values skipped. The
// count may err only towards more depth on malformed input, which the parser then
// rejects anyway.
bool NestsDeeperThan(const std::string& text, std::size_t limit) {
  std::size_t depth = 0;
  std::size_t i = 0;
  const std::size_t n = text.size();
  auto skipPast = [&](std::string_view terminator) {
    const auto end = text.find(terminator, i);
    i = end == std::string::npos ? n : end + terminator.size();
  };
  while (i < n) {
    if (text[i] != '<') {
      ++i;
      continue;
    }
    if (text.compare(i, 4, "<!--") == 0) {
      skipPast("-->");
    } else if (text.compare(i, 9, "<![CDATA[") == 0) {
      skipPast("]]>");
    } else if (text.compare(i, 2, "<?") == 0 || text.compare(i, 2, "<!") == 0) {
      skipPast(">");
    } else if (text.compare(i, 2, "</") == 0) {
      if (depth > 0) --depth;
      skipPast(">");
    } else {
      char quote = 0;
      std::size_t j = i + 1;
      for (; j < n; ++j) {
        if (quote != 0) {
          if (text[j] == quote) quote = 0;
        } else if (text[j] == '"' || text[j] == '\'') {
          quote = text[j];
        } else if (text[j] == '>') {
          break;
        }
      }
      const bool selfClosing = j < n && text[j - 1] == '/';
      if (!selfClosing && ++depth > limit) return true;
      i = j + 1;
    }
  }
  return false;
}

// True when arrays and objects of the JSON `text` nest deeper than `limit`.
// Brackets inside strings (escaped quotes honoured) do not count; malformed input
// may only be counted deeper, and the parser rejects it anyway.
bool JsonNestsDeeperThan(const std::string& text, std::size_t limit) {
  std::size_t depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return true;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return false;
}

// Appends one child per attribute to every element that has attributes. Iterative
// so that the depth of the tree does not matter here.
void CopyAttributesIntoChildren(ptree& root) {
  std::vector<ptree*> pending{&root};
  while (!pending.empty()) {
    ptree* node = pending.back();
    pending.pop_back();
    for (auto& [key, child] : *node) {
      if (key != kAttributes) pending.push_back(&child);
    }
    const auto attributes = node->find(kAttributes);
    if (attributes == node->not_found()) continue;
    std::vector<std::pair<std::string, std::string>> copies;
    for (const auto& [name, value] : attributes->second) copies.emplace_back(name, value.data());
    for (auto& [name, value] : copies) node->push_back({name, ptree(value)});
  }
}

}  // namespace

void ReadXmlDocument(std::istream& stream, ptree& tree) {
  std::ostringstream buffer;
  if (stream.rdbuf() != nullptr && stream.good()) buffer << stream.rdbuf();
  std::string text = std::move(buffer).str();
  if (NestsDeeperThan(text, kMaxXmlNesting)) throw ManifestParseException();
  std::istringstream input(std::move(text));
  ptree document;
  try {
    // Flags 0: comments are kept and text is neither trimmed nor normalised.
    boost::property_tree::read_xml(input, document, 0);
  } catch (const boost::property_tree::ptree_error&) {
    throw ManifestParseException();
  }
  CopyAttributesIntoChildren(document);
  tree.swap(document);  // ptree has no move assignment: swap instead of copying
}

void ReadJsonDocument(std::istream& stream, ptree& tree) {
  std::ostringstream buffer;
  if (stream.rdbuf() != nullptr && stream.good()) buffer << stream.rdbuf();
  std::string text = std::move(buffer).str();
  if (JsonNestsDeeperThan(text, kMaxJsonNesting)) throw ManifestParseException();
  std::istringstream input(std::move(text));
  ptree document;
  try {
    boost::property_tree::read_json(input, document);
  } catch (const boost::property_tree::ptree_error&) {
    throw ManifestParseException();
  }
  tree.swap(document);  // ptree has no move assignment: swap instead of copying
}

std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t max) {
  text = Trim(text);
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (digit > max || value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<bool> ParseBoolean(std::string_view text) {
  text = Trim(text);
  if (text == "1" || text == "true") return true;
  if (text == "0" || text == "false") return false;
  return std::nullopt;
}

const ptree* OptionalChild(const ptree& node, const char* key) {
  const auto found = node.find(key);
  return found == node.not_found() ? nullptr : &found->second;
}

const ptree& RequiredChild(const ptree& node, const char* key) {
  const ptree* child = OptionalChild(node, key);
  if (child == nullptr) throw ManifestParseException();
  return *child;
}

const std::string& RequiredText(const ptree& node, const char* key) {
  return RequiredChild(node, key).data();
}

std::optional<std::string> OptionalText(const ptree& node, const char* key) {
  const ptree* child = OptionalChild(node, key);
  if (child == nullptr) return std::nullopt;
  return child->data();
}

}  // namespace ombrix
