#include "manifest/package_manifest.h"

#include <limits>
#include <map>
#include <set>

#include <boost/property_tree/ptree.hpp>

#include "manifest/file_manifest.h"
#include "manifest/manifest_document.h"
#include "manifest/manifest_exceptions.h"

namespace ombrix {

void StandardPackageManifest::Read(const boost::property_tree::ptree& tree) {
  const auto& package = RequiredChild(tree, "package");
  StandardPackageManifest read;
  read.id = RequiredText(package, "id");
  read.name = RequiredText(package, "name");
  read.partnerId = RequiredText(package, "partnerId");
  read.versionId = RequiredText(package, "versionId");
  read.run = OptionalText(package, "run").value_or("");
  // A value that does not convert counts as absent.
  read.isActive = ParseBoolean(OptionalText(package, "isActive").value_or("")).value_or(true);

  if (const auto* versionNode = OptionalChild(package, "version")) {
    auto versionRecord = std::make_unique<PackageVersionManifest>();
    versionRecord->Read(*versionNode);
    read.version = std::move(versionRecord);
  }

  const auto& filesNode = RequiredChild(package, "files");
  read.files.reserve(filesNode.size());
  for (const auto& [key, fileNode] : filesNode) {
    if (key != "file") throw ManifestParseException();
    auto file = std::make_shared<StandardFileManifest>();
    file->Read(fileNode);
    read.files.push_back(std::move(file));
  }

  if (read.id.empty() || read.name.empty() || read.partnerId.empty() || read.versionId.empty()) {
    throw ManifestParseException();
  }

  for (const auto& file : read.files) {
    if (file->GetPath() == read.run) {
      read.runFiles.push_back(file);
      read.runFile = file;
    } else {
      read.otherFiles.push_back(file);
    }
  }
  if (!read.run.empty() && !read.runFile) throw ManifestParseException();
  // The run file is launched by this name: it may not hide a control character even
  // if a file's path check were ever relaxed.
  if (HasControlCharacter(read.run)) throw ManifestParseException();

  if (read.version &&
      (read.version->GetId() != read.versionId || read.version->GetRun() != read.run)) {
    throw ManifestParseException();
  }
  *this = std::move(read);
}

void StandardPackageManifest::SetChunkSha256(
    const std::function<std::vector<Sha256Digest>(const FileManifest&)>& hashesOf) {
  std::map<const FileManifest*, std::shared_ptr<const FileManifest>> replaced;
  for (const auto& file : files) {
    replaced[file.get()] = std::make_shared<StandardFileManifest>(file->GetPath(), file->GetChunkSize(),
                                                                  file->GetSize(), file->GetChecksums(), hashesOf(*file));
  }
  const auto swap = [&replaced](Files& list) {
    for (auto& file : list) file = replaced.at(file.get());
  };
  swap(files);
  swap(runFiles);
  swap(otherFiles);
  if (runFile) runFile = replaced.at(runFile.get());
}

bool StandardPackageManifest::IsAllowed(const std::string& countryCode) const {
  return !version || version->IsAllowed(countryCode);
}

PackageManifest::Files DistinctFiles(const PackageManifest::Files& files) {
  std::set<std::string> seen;
  PackageManifest::Files distinct;
  for (const auto& file : files) {
    if (seen.insert(ToLocalPath(file->GetPath())).second) distinct.push_back(file);
  }
  return distinct;
}

std::optional<std::uint64_t> DistinctSize(const PackageManifest& package) {
  std::uint64_t total = 0;
  for (const auto& file : DistinctFiles(package.GetFiles())) {
    if (file->GetSize() > std::numeric_limits<std::uint64_t>::max() - total) return std::nullopt;
    total += file->GetSize();
  }
  return total;
}

}  // namespace ombrix
