// Read access to the program's string table (numbered product texts).
#pragma once

#include <string>

namespace ombrix::updater {

// Guarantees: Load never throws and is safe to call from any thread once built.
class StringTable {
 public:
  virtual ~StringTable() = default;
  // The entry's text as stored, or "" when the table has no such entry.
  virtual std::string Load(unsigned id) const = 0;
};

}  // namespace ombrix::updater
