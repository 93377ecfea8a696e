#include "file/posix/shared_file_impl.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "file/file_exceptions.h"
#include "file/filesystem.h"
#include "file/path_text.h"
#include "file/posix/beneath_open.h"
#include "file/posix/errno_error.h"
#include "file/posix/memory_map.h"

namespace ombrix::file::posix {

namespace {

[[noreturn]] void ThrowLastError(int error) {
  ThrowForErrno(error);
  throw UnknownException();
}

// Byte count `count` from `position` crosses no bound and does not overflow.
void CheckPiece(const BoundedData& data, std::uint64_t position, std::uint32_t count) {
  if (position + (count - 1) < position) throw OutOfBoundsException();
  data.CheckBounds(position, position + count - 1);
  BoundedData::CheckSpan(position, position + count - 1);
}

}  // namespace

SharedFileImpl::SharedFileImpl(Filesystem& filesystem, const std::string& directory, const std::string& name,
                               OpenMode mode, std::shared_ptr<OperationContext> context, std::uint64_t first,
                               std::uint64_t last)
    : SharedFile(first, last, std::move(context)) {
  CheckPathText(directory);
  CheckPathText(name);
  if (!filesystem.Exists(directory)) throw NotFoundException();
  path = Filesystem::Join(directory, name);
  if (mode == OpenMode::OpenAlways || mode == OpenMode::CreateNew) {
    const std::string parent = Filesystem::ParentPath(path);
    if (!parent.empty()) filesystem.CreateDirectories(parent);
  }
  OpenAt(mode, first);
}

SharedFileImpl::SharedFileImpl(Beneath root, const std::string& relative, OpenMode mode,
                               std::shared_ptr<OperationContext> context, std::uint64_t first, std::uint64_t last)
    : SharedFile(first, last, std::move(context)), path(relative), beneath(std::move(root.destination)) {
  CheckPathText(beneath);
  struct stat info {};
  if (beneath.empty() || ::stat(beneath.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) throw NotFoundException();
  OpenAt(mode, first);
}

SharedFileImpl::SharedFileImpl(const std::string& path, std::shared_ptr<OperationContext> context,
                               std::uint64_t first, std::uint64_t last, bool readOnly)
    : SharedFile(first, last, std::move(context)), path(path) {
  CheckPathText(path);
  OpenAt(readOnly ? OpenMode::ReadOnly : OpenMode::OpenExisting, first);
}

void SharedFileImpl::OpenAt(OpenMode mode, std::uint64_t first) {
  Open(mode);
  try {
    SetPosition(first);
  } catch (...) {
    // The destructor does not run for an object whose construction fails.
    ::close(handle);
    handle = -1;
    throw;
  }
}

void SharedFileImpl::Open(OpenMode mode) {
  readOnly = mode == OpenMode::ReadOnly;
  int flags = (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC;
  if (mode == OpenMode::OpenAlways) flags |= O_CREAT;
  if (mode == OpenMode::CreateNew) flags |= O_CREAT | O_EXCL;
  if (!beneath.empty()) {
    handle = OpenBeneath(beneath, path, flags, mode == OpenMode::OpenAlways || mode == OpenMode::CreateNew);
    return;
  }
  do {
    handle = ::open(path.c_str(), flags, 0666);
  } while (handle < 0 && errno == EINTR);
  if (handle < 0) ThrowLastError(errno);
}

SharedFileImpl::~SharedFileImpl() {
  try {
    ContextGuard hold(context);
    map.reset();
    if (handle >= 0) ::close(handle);
  } catch (...) {
    map.reset();
    if (handle >= 0) ::close(handle);
  }
}

std::uint64_t SharedFileImpl::GetPosition() {
  const off_t position = ::lseek(handle, 0, SEEK_CUR);
  if (position < 0) ThrowLastError(errno);
  return static_cast<std::uint64_t>(position);
}

void SharedFileImpl::SetPosition(std::uint64_t position) {
  CheckBounds(position, position);
  if (position > static_cast<std::uint64_t>(INT64_MAX)) throw BadPathException();
  if (::lseek(handle, static_cast<off_t>(position), SEEK_SET) < 0) ThrowLastError(errno);
}

std::uint32_t SharedFileImpl::Read(void* buffer, std::uint32_t count) {
  if (count == 0) return 0;
  const std::uint32_t n = std::min<std::uint32_t>(count, MemoryMappedData::kMaxRead);
  ContextGuard hold(context);
  const std::uint64_t position = GetPosition();
  CheckPiece(*this, position, n);
  ssize_t got;
  do {
    got = ::pread(handle, buffer, n, static_cast<off_t>(position));
  } while (got < 0 && errno == EINTR);
  if (got < 0) ThrowLastError(errno);
  if (got > 0 && ::lseek(handle, static_cast<off_t>(position + got), SEEK_SET) < 0) ThrowLastError(errno);
  return static_cast<std::uint32_t>(got);
}

void SharedFileImpl::CheckWritable() const {
  if (readOnly) throw InaccessibleException();
}

std::uint32_t SharedFileImpl::Write(const void* buffer, std::uint32_t count) {
  if (count == 0) return 0;
  CheckWritable();
  ContextGuard hold(context);
  const std::uint64_t position = GetPosition();
  CheckPiece(*this, position, count);
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  std::uint64_t done = 0;
  while (done < count) {
    const ssize_t wrote = ::pwrite(handle, bytes + done, count - done, static_cast<off_t>(position + done));
    if (wrote < 0) {
      if (errno == EINTR) continue;
      ThrowLastError(errno);  // the position stays at `position`
    }
    // A write that moves no byte would loop forever; the device is full.
    if (wrote == 0) throw InsufficientSpaceException();
    done += static_cast<std::uint64_t>(wrote);
  }
  if (::lseek(handle, static_cast<off_t>(position + count), SEEK_SET) < 0) ThrowLastError(errno);
  return count;
}

std::uint64_t SharedFileImpl::GetSize() {
  struct stat info {};
  if (::fstat(handle, &info) != 0) ThrowLastError(errno);
  return static_cast<std::uint64_t>(info.st_size);
}

bool SharedFileImpl::Allocate(std::uint64_t size) {
  ContextGuard hold(context);
  if (GetSize() != 0) return false;
  if (size == 0) return true;
  CheckWritable();
  CheckBounds(0, size - 1);
  if (size > static_cast<std::uint64_t>(INT64_MAX)) throw BadPathException();
  int result;
  do {
    result = ::fallocate(handle, 0, 0, static_cast<off_t>(size));
  } while (result != 0 && errno == EINTR);
  if (result != 0 && (errno == EOPNOTSUPP || errno == ENOSYS)) {
    // The file system cannot reserve blocks; setting the end of the file still
    // gives the file its size.
    result = ::ftruncate(handle, static_cast<off_t>(size));
  }
  if (result != 0) {
    const int error = errno;
    // Give back whatever was reserved before the failure: the file was empty.
    if (::ftruncate(handle, 0) != 0) {
      // Nothing more can be done; the original failure is what the caller needs.
    }
    ThrowLastError(error);
  }
  SetPosition(0);
  return true;
}

bool SharedFileImpl::DenyExecute() {
  struct stat info {};
  if (::fstat(handle, &info) != 0) return false;
  const mode_t wanted = info.st_mode & 07777 & ~mode_t{0111};
  if (wanted == (info.st_mode & 07777)) return true;
  return ::fchmod(handle, wanted) == 0;
}

bool SharedFileImpl::AllowExecute() {
  struct stat info {};
  if (::fstat(handle, &info) != 0) return false;
  const mode_t current = info.st_mode & 07777;
  // Each class that may read the file may also run it.
  const mode_t wanted = current | ((current & 0444) >> 2);
  if (wanted == current) return true;
  return ::fchmod(handle, wanted) == 0;
}

std::shared_ptr<MemoryMappedData> SharedFileImpl::Map(std::uint64_t first, std::uint64_t last) {
  CheckRange(first, last);
  if (last >= GetSize()) throw InvalidMapException();
  std::shared_ptr<MemoryMap> mapping;
  {
    std::lock_guard<std::mutex> hold(mapLock);
    if (!map) map = std::make_shared<MemoryMap>(handle, context, !readOnly);
    mapping = map;
  }
  return mapping->CreateView(first, last);
}

std::shared_ptr<SharedFile> SharedFileImpl::OpenRange(std::uint64_t first, std::uint64_t last) {
  if (!beneath.empty()) {
    return std::make_shared<SharedFileImpl>(Beneath{beneath}, path,
                                            readOnly ? OpenMode::ReadOnly : OpenMode::OpenExisting, context, first,
                                            last);
  }
  return std::make_shared<SharedFileImpl>(path, context, first, last, readOnly);
}

void SharedFileImpl::Flush() {
  // The data and the metadata needed to read it back (the conversion of blocks
  // reserved by Allocate into written ones), without the timestamps.
  int result;
  do {
    result = ::fdatasync(handle);
  } while (result != 0 && errno == EINTR);
  if (result != 0) ThrowLastError(errno);
}

}  // namespace ombrix::file::posix
