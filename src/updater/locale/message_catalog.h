// A source of compiled gettext catalogs, addressed by the file names the gettext
// backend asks for.
#pragma once

#include <string>
#include <vector>

namespace ombrix::locale {

class MessageCatalog {
 public:
  virtual ~MessageCatalog() = default;
  // The folder prefix of catalog file names.
  virtual std::string GetPath() const = 0;
  virtual std::string GetDomain() const = 0;
  // The catalog's bytes, or none when there is no such catalog.
  virtual std::vector<char> Load(const std::string& fileName) const = 0;
};

}  // namespace ombrix::locale
