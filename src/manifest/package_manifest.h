// A package version: identity, the file to launch, the geofence and every file.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "manifest/file_manifest.h"
#include "manifest/input_manifest.h"
#include "manifest/package_version_manifest.h"

namespace ombrix {

// Guarantees after a successful Read: id, name, partnerId and versionId are not
// empty; GetFiles holds every file in document order, split into GetRunFiles (path
// equal to GetRun) and GetOtherFiles; GetRunFile is the last run file, or empty when
// GetRun is empty; a version record, when present, carries the same version id and
// run. Immutable after Read; safe to share between threads.
class PackageManifest : public InputManifest {
 public:
  using Files = std::vector<std::shared_ptr<const FileManifest>>;

  virtual const std::string& GetId() const = 0;
  virtual const std::string& GetName() const = 0;
  virtual const std::string& GetPartnerId() const = 0;
  virtual const std::string& GetVersionId() const = 0;
  virtual bool IsActive() const = 0;
  virtual const Files& GetFiles() const = 0;
  virtual const Files& GetRunFiles() const = 0;
  virtual const Files& GetOtherFiles() const = 0;
  virtual const std::string& GetRun() const = 0;
  virtual std::shared_ptr<const FileManifest> GetRunFile() const = 0;
  // Whether the version's geofence lets `countryCode` download (exact comparison);
  // a package without version data allows every country.
  virtual bool IsAllowed(const std::string& countryCode) const = 0;
};

// The package record read from a package document (root element "package").
// Read throws ManifestParseException on every broken rule of the format, including
// a file path or run path that could leave the destination folder, and leaves the
// record unchanged.
class StandardPackageManifest : public PackageManifest {
 public:
  void Read(const boost::property_tree::ptree& tree) override;

  const std::string& GetId() const override { return id; }
  const std::string& GetName() const override { return name; }
  const std::string& GetPartnerId() const override { return partnerId; }
  const std::string& GetVersionId() const override { return versionId; }
  bool IsActive() const override { return isActive; }
  const Files& GetFiles() const override { return files; }
  const Files& GetRunFiles() const override { return runFiles; }
  const Files& GetOtherFiles() const override { return otherFiles; }
  const std::string& GetRun() const override { return run; }
  std::shared_ptr<const FileManifest> GetRunFile() const override { return runFile; }
  bool IsAllowed(const std::string& countryCode) const override;

  // Gives every file the chunk hashes `hashesOf` returns for it (whatever it
  // throws propagates, and the record is then unchanged). For a record not yet
  // shared with other threads.
  void SetChunkSha256(const std::function<std::vector<Sha256Digest>(const FileManifest&)>& hashesOf);

  // The version record, or null when the document has none.
  const PackageVersionManifest* GetVersion() const { return version.get(); }

 private:
  std::string id;
  std::string name;
  std::string partnerId;
  std::string versionId;
  std::string run;
  bool isActive = true;
  std::shared_ptr<const FileManifest> runFile;
  Files files;
  Files runFiles;
  Files otherFiles;
  std::unique_ptr<PackageVersionManifest> version;
};

// `files` with each local file once (paths compared by ToLocalPath), in order: a
// later entry for a path already listed is dropped. A package may list one file
// twice; it is fetched, counted and checked once.
PackageManifest::Files DistinctFiles(const PackageManifest::Files& files);

// The sum of the sizes of DistinctFiles(package.GetFiles()); nothing when it
// does not fit in 64 bits.
std::optional<std::uint64_t> DistinctSize(const PackageManifest& package);

}  // namespace ombrix
