#include "transfer/temp_file_manifest_store.h"

#include <boost/property_tree/ptree.hpp>
#include <filesystem>

#include "file/filesystem.h"
#include "file/posix/small_files.h"
#include "manifest/manifest_exceptions.h"

namespace ombrix {

using file::posix::Existing;

TempFileManifestStore::TempFileManifestStore(file::Filesystem& filesystem, std::string transfersFolder)
    : filesystem(filesystem), transfersFolder(std::move(transfersFolder)) {}

bool TempFileManifestStore::IsRecordId(const std::string& id) {
  if (id.size() != 32) return false;
  for (const char c : id) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool TempFileManifestStore::Load(const std::string& id, TransferManifest& manifest) {
  const std::string temp = filesystem.GetTempPath();
  if (!IsRecordId(id) || temp.empty()) return false;
  const std::filesystem::path path = std::filesystem::path(temp) / transfersFolder / (id + ".json");
  const auto text = file::posix::ReadSmallFile(path, kMaxRecordBytes);
  if (!text) return false;
  const auto tree = ReadRecordJson(*text);
  if (!tree) return false;
  try {
    TransferManifest read;
    read.Read(*tree);
    if (read.params.transferId != id) return false;
    manifest = std::move(read);
    return true;
  } catch (const ManifestException&) {
    return false;
  }
}

bool TempFileManifestStore::Save(const std::string& id, const TransferManifest& manifest) {
  const std::string temp = filesystem.GetTempPath();
  if (!IsRecordId(id) || temp.empty()) return false;
  try {
    boost::property_tree::ptree tree;
    manifest.Write(tree);
    const std::string text = WriteRecordJson(tree);
    if (!file::posix::MakeFolders(temp, transfersFolder)) return false;
    return file::posix::WriteFileDurably(std::filesystem::path(temp) / transfersFolder, id + ".json", text,
                                         Existing::Keep);
  } catch (const std::exception&) {
    return false;
  }
}

bool TempFileManifestStore::Erase(const std::string& id) {
  const std::string temp = filesystem.GetTempPath();
  if (!IsRecordId(id) || temp.empty()) return false;
  try {
    return filesystem.RemoveFile(temp, (std::filesystem::path(transfersFolder) / (id + ".json")).string(), false);
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace ombrix
