// Turning document bytes into the key/value tree that manifest records read, and
// the value conversions every record shares.
#pragma once

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

// Reads a whole XML document into `tree`. Element text is kept exactly as written,
// comments become "<xmlcomment>" children, and every element with attributes gets,
// after its existing children, one child per attribute (named like it, holding its
// value) while the "<xmlattr>" child stays. Throws ManifestParseException when the
// document is not well-formed or nests deeper than kMaxXmlNesting.
void ReadXmlDocument(std::istream& stream, boost::property_tree::ptree& tree);

// Reads a whole JSON document into `tree`: members become children in order and
// every scalar becomes its node's text as written (strings without quotes).
// Throws ManifestParseException when the document is not valid JSON or nests
// deeper than kMaxJsonNesting.
void ReadJsonDocument(std::istream& stream, boost::property_tree::ptree& tree);

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
