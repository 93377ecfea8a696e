#include "file/filesystem.h"


#include "common/paths.h"

namespace ombrix::file {

namespace {

// Whether a relative path may name something outside the directory it is joined to.
bool LeavesDirectory(const std::string& relative) {
  if (relative.empty() || relative.front() == '/') return true;
  std::size_t start = 0;
  while (start <= relative.size()) {
    std::size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    const std::string element = relative.substr(start, end - start);
    if (element == "." || element == "..") return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

Filesystem::Filesystem() : context(std::make_shared<OperationContext>()) {}

std::string Filesystem::Join(const std::string& a, const std::string& b) { return JoinPath(a, b); }

std::string Filesystem::ParentPath(const std::string& p) {
  std::string trimmed = p;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const auto slash = trimmed.find_last_of('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return trimmed.size() > 1 ? "/" : "";
  std::string parent = trimmed.substr(0, slash);
  while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  return parent;
}

std::string Filesystem::Extension(const std::string& p) {
  const auto slash = p.find_last_of('/');
  const std::string last = slash == std::string::npos ? p : p.substr(slash + 1);
  const auto dot = last.find_last_of('.');
  if (dot == std::string::npos || last == "." || last == "..") return "";
  return last.substr(dot);
}

bool Filesystem::RemoveFile(const std::string& directory, const std::string& name, bool useContext) {
  const bool result = Remove(directory, name, false, useContext);
  try {
    for (std::string rel = ParentPath(name); !rel.empty(); rel = ParentPath(rel)) {
      // Never climb out of `directory` through ".." elements or a rooted name.
      if (LeavesDirectory(rel)) break;
      const std::string folder = Join(directory, rel);
      if (!IsDirectoryEmpty(folder, false) || !Remove(folder, false, useContext)) break;
    }
  } catch (...) {
    // The file is gone; leftover empty folders are harmless.
  }
  return result;
}

bool Filesystem::ExistsQuietly(const std::string& path) {
  try {
    return Exists(path);
  } catch (...) {
    return false;
  }
}

bool Filesystem::Equivalent(const std::string& a, const std::string& b) {
  try {
    return Canonical(a) == Canonical(b);
  } catch (...) {
    return false;
  }
}

std::uint64_t Filesystem::GetFileSizeQuietly(const std::string& path) {
  try {
    return Exists(path) ? GetFileSize(path) : 0;
  } catch (...) {
    return 0;
  }
}

bool Filesystem::IsDirectoryEmpty(const std::string& path, bool ignoreHidden) {
  std::unique_ptr<DirectoryIterator> entries = OpenDirectory(path);
  std::string entry;
  while (entries->Next(entry)) {
    if (ignoreHidden && IsHiddenOrSystem(entry)) continue;
    return false;
  }
  return true;
}

bool Filesystem::CreateDirectory(const std::string& directory, const std::string& name) {
  return CreateDirectory(Join(directory, name));
}

// CreateDirectories answers whether this call made the folder; when another thread or
// process made it in the meantime, the folder exists all the same.
bool Filesystem::EnsureDirectory(const std::string& path) {
  return Exists(path) || CreateDirectories(path) || Exists(path);
}

bool Filesystem::EnsureDirectoryQuietly(const std::string& path) {
  try {
    return EnsureDirectory(path);
  } catch (...) {
    return false;
  }
}

bool Filesystem::Remove(const std::string& directory, const std::string& name, bool recursive, bool useContext) {
  return Remove(Join(directory, name), recursive, useContext);
}

std::shared_ptr<OperationContext> Filesystem::GetContext(const std::string&) { return context; }

}  // namespace ombrix::file
