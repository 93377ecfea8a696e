// A snapshot of process environment variables, injectable so that code which reads
// the machine's configuration can be tested with a fake one.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace ombrix {

// Guarantees: a value type; never reads the real environment after construction,
// so lookups are thread-safe and repeatable.
class Environment {
 public:
  Environment() = default;
  explicit Environment(std::map<std::string, std::string> variables);

  // The environment of this process at the time of the call.
  static Environment Current();

  // The variable's value, or nothing when it is not set. An empty value is a value.
  std::optional<std::string> Get(const std::string& name) const;

  void Set(const std::string& name, std::string value);

 private:
  std::map<std::string, std::string> variables_;
};

}  // namespace ombrix
