#include "file/volume.h"

namespace ombrix::file {

FileSystemKind Volume::ClassifyFileSystem(const std::string& name) {
  if (name == "NTFS") return FileSystemKind::NTFS;
  if (name == "FAT32") return FileSystemKind::FAT32;
  if (name == "exFAT") return FileSystemKind::exFAT;
  return FileSystemKind::Other;
}

}  // namespace ombrix::file
