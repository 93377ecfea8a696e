// Small whole-file records (transfer records, publication serials): read with
// care, written atomically and durably.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace ombrix::file::posix {

// Creates every missing folder of `relative` below `root` with mode 0700; `root`
// itself must exist. False when `relative` holds an empty, "." or ".." element or
// a folder cannot be made.
bool MakeFolders(const std::filesystem::path& root, const std::filesystem::path& relative);

// The text of `path` when it is a regular file (a symbolic link is not followed,
// and a planted FIFO is not waited on) of at most `maxBytes`; otherwise nothing.
std::optional<std::string> ReadSmallFile(const std::filesystem::path& path, std::size_t maxBytes);

// Writes `text` as `folder`/`name` (mode 0600) so that a reader or a crash sees
// the old file or the whole new one, then syncs the file and the folder.
// - Keep: an existing file is kept (false). The text goes to an unnamed file
//   that a crash cannot leave behind, then is linked to its name; where the file
//   system has no unnamed files, through `name`.tmp.
// - Replace: an existing file is replaced, through `name`.tmp renamed over it;
//   callers serialize writers of one name.
enum class Existing { Keep, Replace };
bool WriteFileDurably(const std::filesystem::path& folder, const std::string& name, const std::string& text,
                      Existing existing);

}  // namespace ombrix::file::posix
