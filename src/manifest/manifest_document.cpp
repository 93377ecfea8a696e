#include "manifest/manifest_document.h"

#include <algorithm>
#include <istream>
#include <iterator>
#include <sstream>
#include <streambuf>
#include <vector>

#include <boost/property_tree/detail/rapidxml.hpp>
#include <boost/property_tree/detail/xml_parser_read_rapidxml.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "manifest/manifest_exceptions.h"

namespace ombrix {

namespace {

using boost::property_tree::ptree;

const char kAttributes[] = "<xmlattr>";

// Reads a string in place: the JSON reader consumes a stream, and this one does
// not copy the text it serves.
class ViewBuffer : public std::streambuf {
 public:
  explicit ViewBuffer(std::string& text) { setg(text.data(), text.data(), text.data() + text.size()); }
};

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// True when the XML `text` nests elements deeper than `maxDepth` or holds more than
// `maxNodes` tree nodes (elements, comments and attributes), stopping as soon as it
// knows. CDATA sections, processing instructions and declarations neither nest nor
// count; a tag's end is searched with quoted attribute values skipped, and every
// "=" outside them is one attribute. Malformed input may only be counted larger,
// and the parser rejects it anyway.
bool ExceedsXmlLimits(const std::string& text, std::size_t maxDepth, std::size_t maxNodes) {
  std::size_t depth = 0;
  std::size_t nodes = 0;
  std::size_t i = 0;
  const std::size_t n = text.size();
  auto skipPast = [&](std::string_view terminator) {
    const auto end = text.find(terminator, i);
    i = end == std::string::npos ? n : end + terminator.size();
  };
  while (i < n) {
    i = text.find('<', i);
    if (i == std::string::npos) break;
    if (text.compare(i, 4, "<!--") == 0) {
      if (++nodes > maxNodes) return true;
      skipPast("-->");
    } else if (text.compare(i, 9, "<![CDATA[") == 0) {
      skipPast("]]>");
    } else if (text.compare(i, 2, "<?") == 0 || text.compare(i, 2, "<!") == 0) {
      skipPast(">");
    } else if (text.compare(i, 2, "</") == 0) {
      if (depth > 0) --depth;
      skipPast(">");
    } else {
      std::size_t attributes = 0;
      char quote = 0;
      std::size_t j = i + 1;
      for (; j < n; ++j) {
        if (quote != 0) {
          if (text[j] == quote) quote = 0;
        } else if (text[j] == '"' || text[j] == '\'') {
          quote = text[j];
        } else if (text[j] == '=') {
          ++attributes;
        } else if (text[j] == '>') {
          break;
        }
      }
      nodes += 1 + attributes;
      if (nodes > maxNodes) return true;
      const bool selfClosing = j < n && text[j - 1] == '/';
      if (!selfClosing && ++depth > maxDepth) return true;
      i = j + 1;
    }
  }
  return false;
}

// True when arrays and objects of the JSON `text` nest deeper than `maxDepth`, or
// when it may hold more than `maxNodes` values. Counted outside strings (escaped
// quotes honoured): every value after the first of its array or object follows a
// ",", so 1 + containers + commas is never below the number of values and exceeds
// it by at most the number of containers. Malformed input may only be counted
// larger, and the parser rejects it anyway.
bool ExceedsJsonLimits(const std::string& text, std::size_t maxDepth, std::size_t maxNodes) {
  std::size_t depth = 0;
  std::size_t nodes = 1;
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
      if (++depth > maxDepth || ++nodes > maxNodes) return true;
    } else if (c == ',') {
      if (++nodes > maxNodes) return true;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return false;
}

// The unread rest of `stream` as one string. A std::stringbuf gives up its buffer
// (moved, not copied: the body of a fetched document exists once); any other
// stream is read to its end. A stream that is not good yields "".
std::string TakeText(std::istream& stream) {
  std::string text;
  std::streambuf* buffer = stream.rdbuf();
  if (buffer == nullptr || !stream.good()) return text;
  if (auto* strings = dynamic_cast<std::stringbuf*>(buffer)) {
    const auto position = strings->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
    if (position >= 0) {
      text = std::move(*strings).str();
      text.erase(0, std::min(static_cast<std::size_t>(position), text.size()));
      return text;
    }
  }
  text.assign(std::istreambuf_iterator<char>(buffer), std::istreambuf_iterator<char>());
  return text;
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

void ReadXmlDocument(std::istream& stream, ptree& tree, std::size_t maxNodes) {
  namespace rapidxml = boost::property_tree::detail::rapidxml;
  std::string text = TakeText(stream);
  if (ExceedsXmlLimits(text, kMaxXmlNesting, maxNodes)) throw ManifestParseException();
  ptree document;
  try {
    // What read_xml does with flags 0 (comments kept, text neither trimmed nor
    // normalised), but parsed in place in `text` instead of in a copy of it. The
    // string's terminating NUL ends the parse; values carry their length, so a
    // decoded "&#0;" stays inside its value.
    rapidxml::xml_document<char> parsed;
    parsed.parse<rapidxml::parse_comment_nodes>(text.data());
    for (auto* child = parsed.first_node(); child != nullptr; child = child->next_sibling()) {
      boost::property_tree::xml_parser::read_xml_node(child, document, 0);
    }
  } catch (const rapidxml::parse_error&) {
    throw ManifestParseException();
  } catch (const boost::property_tree::ptree_error&) {
    throw ManifestParseException();
  }
  CopyAttributesIntoChildren(document);
  tree.swap(document);  // ptree has no move assignment: swap instead of copying
}

void ReadJsonDocument(std::istream& stream, ptree& tree, std::size_t maxNodes) {
  std::string text = TakeText(stream);
  if (ExceedsJsonLimits(text, kMaxJsonNesting, maxNodes)) throw ManifestParseException();
  ViewBuffer view(text);
  std::istream input(&view);
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
