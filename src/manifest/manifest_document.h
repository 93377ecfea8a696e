// Turning document bytes into the key/value tree that manifest records read, and
// the value conversions every record shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include <boost/property_tree/ptree_fwd.hpp>

namespace ombrix {

// Deepest element nesting an XML document may have. Manifests need four levels;
// the limit keeps a hostile document from exhausting the stack of the parser.
inline constexpr std::size_t kMaxXmlNesting = 256;

// Deepest array/object nesting a JSON document may have, for the same reason.
inline constexpr std::size_t kMaxJsonNesting = 256;

// How large a document of one kind may be. A parsed tree costs about a hundred
// times its text when the text is made of tiny nodes ("<a/>" repeated), so the
// byte cap alone does not bound memory: the node budget is checked on the text,
// before any tree is built.
struct DocumentLimits {
  std::uint64_t maxBytes;  // body size; a larger body is refused while it arrives
  std::size_t maxNodes;    // XML elements, comments and attributes; or JSON values
};

// Most nodes any document may have: about 200,000 files in a package manifest
// (five elements each), twenty times a package of 10,000 files.
inline constexpr std::size_t kMaxDocumentNodes = 1'000'000;

// Package manifests: a 10,000-file manifest is about 1.5 MiB and 50,000 nodes.
inline constexpr DocumentLimits kPackageManifestLimits{64ull << 20, kMaxDocumentNodes};
// Node lists: five elements per content node; 20,000 nodes is far beyond any pool.
inline constexpr DocumentLimits kNodeListLimits{8ull << 20, 100'000};
// Geolocation answers: a flat object of a few dozen members at most.
inline constexpr DocumentLimits kGeolocationLimits{1ull << 20, 10'000};

// Reads a whole XML document into `tree`. Element text is kept exactly as written,
// comments become "<xmlcomment>" children, and every element with attributes gets,
// after its existing children, one child per attribute (named like it, holding its
// value) while the "<xmlattr>" child stays. Throws ManifestParseException when the
// document is not well-formed, nests deeper than kMaxXmlNesting, or has more than
// `maxNodes` elements, comments and attributes together. The text is parsed in
// place: when `stream` reads from a std::stringbuf (a std::stringstream), its
// buffer is taken over, not copied, and the stream is left empty.
void ReadXmlDocument(std::istream& stream, boost::property_tree::ptree& tree,
                     std::size_t maxNodes = kMaxDocumentNodes);

// Reads a whole JSON document into `tree`: members become children in order and
// every scalar becomes its node's text as written (strings without quotes).
// Throws ManifestParseException when the document is not valid JSON, nests
// deeper than kMaxJsonNesting, or has more than `maxNodes` values. A
// std::stringbuf's buffer is taken over as for XML.
void ReadJsonDocument(std::istream& stream, boost::property_tree::ptree& tree,
                      std::size_t maxNodes = kMaxDocumentNodes);

// Digits with optional white space around them, no larger than `max`; anything
// else (a sign, a fraction, trailing text, an overflow) yields nothing.
std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t max);

// "1", "0", "true" or "false", with optional white space around; else nothing.
std::optional<bool> ParseBoolean(std::string_view text);

// The text of the first child named `key`; throws ManifestParseException when absent.
const std::string& RequiredText(const boost::property_tree::ptree& node, const char* key);

// The text of the first child named `key`, or nothing when absent.
std::optional<std::string> OptionalText(const boost::property_tree::ptree& node,
                                        const char* key);

// The first child named `key`; throws ManifestParseException when absent.
const boost::property_tree::ptree& RequiredChild(const boost::property_tree::ptree& node,
                                                 const char* key);

// The first child named `key`, or null when absent.
const boost::property_tree::ptree* OptionalChild(const boost::property_tree::ptree& node,
                                                 const char* key);

}  // namespace ombrix
