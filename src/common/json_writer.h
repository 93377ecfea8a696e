// The one JSON writer of the system: analytics documents, work-log lines, transfer
// records and per-node statistics texts all come out of it.
#pragma once

#include <boost/property_tree/ptree_fwd.hpp>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ombrix {

// Leaf values that stand for an empty object and an empty array.
inline constexpr const char* kJsonEmptyObject = "boost::property_tree::json_parser::empty_object";
inline constexpr const char* kJsonEmptyArray = "boost::property_tree::json_parser::empty_array";

// A tree that has a node carrying both a value and children.
class JsonWriteException : public std::runtime_error {
 public:
  JsonWriteException()
      : std::runtime_error("ptree contains data that cannot be represented in JSON format") {}
};

// Appends `tree` to `out` in compact form followed by one "\n". Guarantees:
// - the root is an object or an array; a root without children is "[]";
// - below the root a node without children is a string (or "{}"/"[]" for the
//   marker values above), a node whose children all have empty keys is an array,
//   any other node with children is an object; order is insertion order;
// - inside strings '"', '\\' and '/' are backslash-escaped, \b \f \n \r \t are
//   used for those bytes, and every other byte below 32 and every byte from 128
//   up is written as \u00XX (upper-case hex of that single byte), so the output
//   is plain ASCII.
// Throws JsonWriteException (and leaves `out` unchanged) when a node has both a
// value and children. Thread-safe for distinct outputs.
void WriteJson(const boost::property_tree::ptree& tree, std::string& out);
// WriteJson into a new string.
std::string ToJson(const boost::property_tree::ptree& tree);

// Appends `text` as a quoted JSON string with the escaping above.
void AppendJsonString(std::string_view text, std::string& out);

// `value` in general notation with 16 significant digits ("%.16g"): 1.5 → "1.5".
std::string FormatJsonDouble(double value);

}  // namespace ombrix
