// Persistent records keyed by transfer identifier.
#pragma once

#include <string>

namespace ombrix {

// Stores one record per identifier. Every operation answers false instead of
// throwing; a false Load leaves `manifest` in an unspecified but valid state.
template <class Manifest>
class ManifestStore {
 public:
  ManifestStore() = default;
  ManifestStore(const ManifestStore&) = delete;
  ManifestStore& operator=(const ManifestStore&) = delete;
  virtual ~ManifestStore() = default;

  virtual bool Load(const std::string& id, Manifest& manifest) = 0;
  // Keeps an existing record: saving twice for one identifier answers false and
  // leaves the first record as it was.
  virtual bool Save(const std::string& id, const Manifest& manifest) = 0;
  virtual bool Erase(const std::string& id) = 0;
};

}  // namespace ombrix
