// Starting the downloaded application.
#pragma once

#include <string>

namespace ombrix::process {

class SimpleProcess {
 public:
  explicit SimpleProcess(std::string path) : path(std::move(path)) {}
  virtual ~SimpleProcess() = default;
  // Starts the program with the argument string, elevated when asked and possible,
  // and (with `wait`) waits for it to exit. False when it could not be started or
  // waited for; the program's own exit status does not count.
  virtual bool Run(bool wait, bool elevate, const std::string& arguments) = 0;

 protected:
  std::string path;
};

}  // namespace ombrix::process
