#include "updater/process/posix/posix_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <sstream>
#include <vector>

#include "updater/process/command_line.h"

extern char** environ;

namespace ombrix::process::posix {

namespace {

// The absolute path of `program` on PATH, or "" when there is none.
std::string FindOnPath(const Environment& environment, const std::string& program) {
  std::stringstream folders(environment.Get("PATH").value_or("/usr/bin:/bin"));
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (folder.empty() || folder.front() != '/') continue;
    const std::string candidate = folder + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

}  // namespace

PosixProcess::PosixProcess(std::string path, Environment environment)
    : SimpleProcess(std::move(path)), environment(std::move(environment)) {}

bool PosixProcess::Run(bool wait, bool elevate, const std::string& arguments) {
  std::vector<std::string> argv = SplitCommandLine(arguments);
  argv.insert(argv.begin(), path);
  std::string program = path;
  if (elevate) {
    if (const std::string pkexec = FindOnPath(environment, "pkexec"); !pkexec.empty()) {
      argv.insert(argv.begin(), pkexec);
      program = pkexec;
    }
  }
  std::vector<char*> pointers;
  for (std::string& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  // The application starts as if from a shell: in its own folder, with only the
  // standard descriptors, and with the signals the updater handles at their defaults.
  const std::string folder = std::filesystem::path(path).parent_path().string();
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  bool ready = posix_spawn_file_actions_addchdir_np(&actions, folder.empty() ? "/" : folder.c_str()) == 0 &&
               posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0 &&
               posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
               posix_spawnattr_setsigdefault(&attributes, &all) == 0 &&
               posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
  pid_t child = -1;
  if (ready) ready = posix_spawn(&child, program.c_str(), &actions, &attributes, pointers.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (!ready || !wait) return ready;
  int status = 0;
  pid_t waited;
  do {
    waited = ::waitpid(child, &status, 0);
  } while (waited < 0 && errno == EINTR);
  return waited == child;
}

}  // namespace ombrix::process::posix
