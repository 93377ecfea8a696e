// The two faces of a record that lives in a key/value document tree.
#pragma once

#include <boost/property_tree/ptree_fwd.hpp>

namespace ombrix {

// A record that fills itself from a document node. Read is all-or-nothing from the
// caller's view: on any missing or invalid value it throws ManifestParseException
// and the caller discards the record. Not thread-safe while reading; a record that
// has been read successfully is only read afterwards and may be shared freely.
class InputManifest {
 public:
  virtual ~InputManifest() = default;
  virtual void Read(const boost::property_tree::ptree& tree) = 0;
};

// A record that puts its values into a document node. Writing never changes the
// record; whether concurrent writes are safe is stated by each implementation.
class OutputManifest {
 public:
  virtual ~OutputManifest() = default;
  virtual void Write(boost::property_tree::ptree& tree) const = 0;
};

}  // namespace ombrix
