// The catalogs compiled into the program, each under a numeric resource identifier,
// and the table that maps catalog file names to them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "updater/locale/message_catalog.h"

namespace ombrix::locale::posix {

// The bytes of the embedded catalog with that identifier; empty when there is none.
std::string_view EmbeddedCatalogResource(std::uint16_t id);

// Guarantees: Load never throws for an unknown name (no bytes). Register is for
// start-up; Load may then be called from any thread.
class EmbeddedMessageCatalog : public MessageCatalog {
 public:
  explicit EmbeddedMessageCatalog(std::string domain);

  std::string GetPath() const override;
  std::string GetDomain() const override;
  std::vector<char> Load(const std::string& fileName) const override;

  // Maps "<path>/<localeName>/LC_MESSAGES/<domain>.mo" to the resource; a name
  // already registered keeps its first resource.
  void Register(const std::string& localeName, std::uint16_t resourceId);

 private:
  std::string domain;
  std::map<std::string, std::uint16_t> table;
};

}  // namespace ombrix::locale::posix
