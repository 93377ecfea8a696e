// The newest publication serial of each package, below the per-user temporary
// folder, so that a replayed older "current" manifest is refused after a restart.
#pragma once

#include <mutex>
#include <string>

#include "manifest/manifest_trust.h"

namespace ombrix {

namespace file {
class Filesystem;
}

// One file per package in <temporary folder>/<folder>: the package id with every
// byte but letters, digits, "-" and "_" written as %XX, then ".serial"; its text
// is the serial in decimal. A higher serial replaces the file atomically and
// durably; the check and the replacement hold a lock on the folder, so processes
// sharing it never lower a serial. A file that cannot be read as a serial counts
// as none; when the folder is unknown or cannot be written, serials are not
// remembered (the signature checks still hold). Thread-safe.
class TempFilePublicationSerials : public PublicationSerials {
 public:
  TempFilePublicationSerials(file::Filesystem& filesystem, std::string folder);

  void Admit(const std::string& package, std::uint64_t serial) override;

 private:
  file::Filesystem& filesystem;
  const std::string folder;
  std::mutex lock;
};

}  // namespace ombrix
