// A fresh temporary folder per test, removed with everything in it at the end.
#pragma once

#include <filesystem>
#include <string>

namespace ombrix::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  // Writes `content` to `relative` below the folder, creating parent folders.
  std::filesystem::path Write(const std::string& relative, const std::string& content) const;

 private:
  std::filesystem::path path_;
};

}  // namespace ombrix::test
