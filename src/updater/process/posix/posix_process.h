// Starts a program with posix_spawn: the argument vector split from the argument
// string, the program's folder as working folder, no descriptor but 0-2 inherited,
// default signal dispositions and an empty signal mask. Elevation runs it through
// pkexec when pkexec is installed.
#pragma once

#include "common/environment.h"
#include "updater/process/simple_process.h"

namespace ombrix::process::posix {

class PosixProcess : public SimpleProcess {
 public:
  explicit PosixProcess(std::string path, Environment environment = Environment::Current());
  bool Run(bool wait, bool elevate, const std::string& arguments) override;

 private:
  Environment environment;
};

}  // namespace ombrix::process::posix
