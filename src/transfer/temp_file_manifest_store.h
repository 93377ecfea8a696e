// Transfer records as small JSON files below the per-user temporary folder.
#pragma once

#include <string>

#include "transfer/manifest_store.h"
#include "transfer/transfer_manifest.h"

namespace ombrix {

namespace file {
class Filesystem;
}

// One file "<id>.json" per record in <temporary folder>/<transfersFolder>.
// Guarantees:
// - An identifier is used as a file name only when it is exactly 32 characters of
//   [0-9a-f]; any other identifier has no record, so no caller-chosen text can
//   name a file outside the folder.
// - Save is atomic and durable: the record is written to a temporary file in the
//   folder, synced, linked to its name (which keeps an existing record), and the
//   folder is synced. A crash leaves either no record or the whole one. Folders it
//   creates are 0700, records 0600.
// - Load reads only a regular file of at most 64 KiB that is not a symbolic link,
//   whose text is a record (ReadRecordJson, TransferManifest::Read) naming the
//   same identifier; anything else is no record and the file is left alone.
// - Erase removes the record and the folders it leaves empty, up to but excluding
//   the temporary folder.
// When the temporary folder is unknown nothing is read or written.
// Not synchronized: callers serialize the operations on one identifier.
class TempFileManifestStore : public ManifestStore<TransferManifest> {
 public:
  static constexpr std::size_t kMaxRecordBytes = 64 * 1024;

  TempFileManifestStore(file::Filesystem& filesystem, std::string transfersFolder);

  bool Load(const std::string& id, TransferManifest& manifest) override;
  bool Save(const std::string& id, const TransferManifest& manifest) override;
  bool Erase(const std::string& id) override;

  // Whether `id` may name a record: 32 lowercase hexadecimal digits.
  static bool IsRecordId(const std::string& id);

 private:
  file::Filesystem& filesystem;
  const std::string transfersFolder;
};

}  // namespace ombrix
