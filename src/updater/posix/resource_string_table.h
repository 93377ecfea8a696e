// The string table on Linux: a text file compiled into the binary, replaceable at
// run time by a file that PELLOR_STRING_TABLE names.
//
// Format, one entry a line:   <decimal id>=<text to the end of the line>
// Blank lines and lines starting with "#" are ignored, as is any line without a
// decimal id and "=". In the text, "\n", "\t" and "\\" stand for a line break, a tab
// and a backslash. A later line for the same id replaces an earlier one.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "common/environment.h"
#include "updater/string_table.h"

namespace ombrix::updater::posix {

inline constexpr const char* kStringTableVariable = "PELLOR_STRING_TABLE";
// A replacement file larger than this is treated as unreadable.
inline constexpr std::size_t kMaxStringTableFileBytes = 1 << 20;

// Guarantees: immutable after construction; Load is thread-safe.
class ResourceStringTable : public StringTable {
 public:
  explicit ResourceStringTable(const std::string& text);

  // The compiled-in table.
  static std::unique_ptr<ResourceStringTable> Embedded();
  // The table of the file named by PELLOR_STRING_TABLE when it is set and the file
  // can be read; the compiled-in table otherwise.
  static std::unique_ptr<ResourceStringTable> Open(const Environment& environment);

  std::string Load(unsigned id) const override;

 private:
  std::map<unsigned, std::string> entries_;
};

}  // namespace ombrix::updater::posix
