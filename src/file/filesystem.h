// The single gateway through which the system touches paths.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "file/operation_context.h"
#include "file/shared_file.h"

namespace ombrix::file {

class Volume;

// The entries of one directory, one at a time.
class DirectoryIterator {
 public:
  virtual ~DirectoryIterator() = default;
  // Stores the next entry's full path and returns true; false at the end. Failures
  // are file storage exceptions.
  virtual bool Next(std::string& path) = 0;
};

// What a name is, judged without following a symbolic link in its place (a link
// is Other).
enum class EntryKind : std::uint8_t {
  Absent = 0,
  RegularFile = 1,
  Directory = 2,
  Other = 3,
};

// Guarantees: paths are UTF-8 texts; a path that is not valid UTF-8 or holds a NUL
// byte is BadPathException (never silently shortened). Every platform or
// path-library failure is one of the file storage exceptions; the quiet variants
// (ExistsQuietly, Equivalent, GetFileSizeQuietly, EnsureDirectoryQuietly,
// GetDesktopPath, GetTempPath) never throw. Thread-safe: no mutable state besides
// the one OperationContext, created at construction and held only by Copy and
// Remove with useContext and by the files, views and caches opened with it.
class Filesystem {
 public:
  Filesystem();
  virtual ~Filesystem() = default;
  Filesystem(const Filesystem&) = delete;
  Filesystem& operator=(const Filesystem&) = delete;

  // A SharedFile for Join(directory, name) over [first, last]; with useContext it
  // shares this filesystem's context.
  virtual std::shared_ptr<SharedFile> OpenFile(const std::string& directory, const std::string& name, OpenMode mode,
                                               bool useContext, std::uint64_t first, std::uint64_t last) = 0;
  // A SharedFile for `path` below `destination`, which a link planted below the
  // destination cannot redirect: the last element is never followed when it is a
  // link, and no element resolves outside `destination`; OpenAlways and CreateNew
  // create the missing folders of `path` the same way. `path` is relative, its
  // elements separated by "/", none empty, "." or "..". A path that breaks these
  // rules is BadPathException, a missing `destination` NotFoundException. Its
  // OpenRange handles are confined the same way.
  virtual std::shared_ptr<SharedFile> OpenFileBeneath(const std::string& destination, const std::string& path,
                                                      OpenMode mode, bool useContext, std::uint64_t first,
                                                      std::uint64_t last) = 0;
  // Removes directory/name, then every folder between it and `directory` that it
  // left empty; never `directory` itself. Failures after the file's removal are
  // ignored. Returns whether the file was removed.
  virtual bool RemoveFile(const std::string& directory, const std::string& name, bool useContext);
  // The volume holding `path`; NotFoundException when it has none.
  virtual std::shared_ptr<Volume> GetVolume(const std::string& path) = 0;
  virtual bool Exists(const std::string& path) = 0;
  // What `path` names, without following a link as its last element; Absent when
  // nothing is there. Other failures throw.
  virtual EntryKind GetEntryKind(const std::string& path) = 0;
  virtual bool ExistsQuietly(const std::string& path);
  // The absolute path with "." and ".." resolved and links followed.
  virtual std::string Canonical(const std::string& path) = 0;
  // Canonical(a) == Canonical(b); false on any failure.
  virtual bool Equivalent(const std::string& a, const std::string& b);
  virtual std::uint64_t GetFileSize(const std::string& path) = 0;
  // GetFileSize when the path exists; 0 otherwise and on any failure.
  virtual std::uint64_t GetFileSizeQuietly(const std::string& path);
  // Bytes available to the caller on the volume of `path`.
  virtual std::uint64_t GetAvailableSpace(const std::string& path) = 0;
  // "" when unknown.
  virtual std::string GetDesktopPath() = 0;
  // The per-user folder for staging, records and logs; "" on failure.
  virtual std::string GetTempPath() = 0;
  virtual std::unique_ptr<DirectoryIterator> OpenDirectory(const std::string& path) = 0;
  // Whether the file would be run as a program.
  virtual bool IsExecutable(const std::string& directory, const std::string& name) = 0;
  virtual bool IsHiddenOrSystem(const std::string& path) = 0;
  // True when the directory has no entries (hidden ones skipped with ignoreHidden).
  virtual bool IsDirectoryEmpty(const std::string& path, bool ignoreHidden);
  virtual bool CreateDirectory(const std::string& directory, const std::string& name);
  // Creates only the last element; false when it already existed.
  virtual bool CreateDirectory(const std::string& path) = 0;
  // Creates the path with every missing ancestor; true when something was created.
  virtual bool CreateDirectories(const std::string& path) = 0;
  // Exists(path) or CreateDirectories(path).
  virtual bool EnsureDirectory(const std::string& path);
  virtual bool EnsureDirectoryQuietly(const std::string& path);
  // Copies a file (failing when the target exists), creates the target directory
  // for a directory, or copies a link.
  virtual void Copy(const std::string& from, const std::string& to, bool useContext) = 0;
  virtual void CreateSymlink(const std::string& target, const std::string& link) = 0;
  virtual bool Remove(const std::string& directory, const std::string& name, bool recursive, bool useContext);
  // Non-recursive: one file or empty directory; recursive: the whole tree. True when
  // something was removed.
  virtual bool Remove(const std::string& path, bool recursive, bool useContext) = 0;
  // The same context for every path.
  virtual std::shared_ptr<OperationContext> GetContext(const std::string& path);
  // Throws the exception an errno value stands for; 0 returns. Named apart from the
  // free ThrowForError, which takes Windows codes, so an errno never reaches that table.
  virtual void ThrowForErrno(int error) = 0;

  // Path helpers (UTF-8 in, UTF-8 out).
  // b appended to a with one separator between them.
  static std::string Join(const std::string& a, const std::string& b);
  // p without its last element ("" for a single element).
  static std::string ParentPath(const std::string& p);
  // The last element's text from its last "." (with the dot); "" without one.
  static std::string Extension(const std::string& p);

 protected:
  const std::shared_ptr<OperationContext> context;
};

}  // namespace ombrix::file
