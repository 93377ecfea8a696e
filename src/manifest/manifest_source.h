// Where a manifest document comes from and how its bytes become a document tree.
#pragma once

#include <iosfwd>
#include <string>

#include <boost/property_tree/ptree_fwd.hpp>

namespace ombrix {

class InputManifest;

// Knows one document location and its format. Read is Fetch, then Parse, then the
// record's Read: it either fills the record or throws a ManifestException kind
// (or std::bad_alloc), never leaving a partly read record behind for the caller to
// use. Fetch writes into a std::stringstream whose buffer the document readers of
// manifest_document.h take over, so the body is held once. A source performs at
// most one fetch at a time; thread-safety beyond that is stated by each
// implementation.
class ManifestSource {
 public:
  ManifestSource() = default;
  virtual ~ManifestSource() = default;
  ManifestSource(const ManifestSource&) = delete;
  ManifestSource& operator=(const ManifestSource&) = delete;

  // Writes the raw document into `stream`.
  virtual void Fetch(const std::string& locator, std::ostream& stream) = 0;
  // Writes the signature document of the document at `locator` into `stream`;
  // throws ManifestLocatorException when there is none (the default: this source
  // has no signature documents) and the kinds of Fetch otherwise.
  virtual void FetchSignature(const std::string& locator, std::ostream& stream);
  // Fills `tree` from `stream`; throws ManifestParseException on any failure.
  virtual void Parse(std::istream& stream, boost::property_tree::ptree& tree) = 0;
  // Ends a Fetch in flight on another thread with ManifestAbortedException; with no
  // fetch in flight it does nothing. Callable from any thread. This default is for
  // sources whose Fetch never waits on anything outside the process (local files),
  // which finish on their own; a source that can wait must override it.
  virtual void Cancel() {}

  void Read(const std::string& locator, InputManifest& manifest);
};

}  // namespace ombrix
