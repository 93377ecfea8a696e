#include "common/environment.h"

#include <cstring>

extern char** environ;

namespace ombrix {

Environment::Environment(std::map<std::string, std::string> variables)
    : variables_(std::move(variables)) {}

Environment Environment::Current() {
  Environment result;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals == nullptr) continue;
    result.variables_.emplace(std::string(*entry, static_cast<std::size_t>(equals - *entry)), std::string(equals + 1));
  }
  return result;
}

std::optional<std::string> Environment::Get(const std::string& name) const {
  auto found = variables_.find(name);
  if (found == variables_.end()) return std::nullopt;
  return found->second;
}

void Environment::Set(const std::string& name, std::string value) {
  variables_[name] = std::move(value);
}

}  // namespace ombrix
