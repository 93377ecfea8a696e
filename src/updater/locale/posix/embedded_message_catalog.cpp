#include "updater/locale/posix/embedded_message_catalog.h"

namespace ombrix::locale::posix {

EmbeddedMessageCatalog::EmbeddedMessageCatalog(std::string domain) : domain(std::move(domain)) {}

std::string EmbeddedMessageCatalog::GetPath() const { return ""; }
std::string EmbeddedMessageCatalog::GetDomain() const { return domain; }

void EmbeddedMessageCatalog::Register(const std::string& localeName, std::uint16_t resourceId) {
  table.emplace(GetPath() + "/" + localeName + "/LC_MESSAGES/" + domain + ".mo", resourceId);
}

std::vector<char> EmbeddedMessageCatalog::Load(const std::string& fileName) const {
  const auto found = table.find(fileName);
  if (found == table.end()) return {};
  const std::string_view bytes = EmbeddedCatalogResource(found->second);
  return std::vector<char>(bytes.begin(), bytes.end());
}

}  // namespace ombrix::locale::posix
