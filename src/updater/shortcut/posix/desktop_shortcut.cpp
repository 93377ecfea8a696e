#include "updater/shortcut/posix/desktop_shortcut.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace ombrix::shortcut::posix {

namespace {

bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

std::string Join(const std::string& folder, const std::string& name) {
  return (std::filesystem::path(folder) / name).string();
}

// Values of a desktop entry escape backslashes and line breaks.
std::string EscapeValue(const std::string& value) {
  std::string escaped;
  for (const char c : value) {
    if (c == '\\') escaped += "\\\\";
    else if (c == '\n') escaped += "\\n";
    else if (c == '\r') escaped += "\\r";
    else if (c == '\t') escaped += "\\t";
    else escaped += c;
  }
  return escaped;
}

template <class Operation>
bool Guarded(Operation operation) {
  try {
    return operation();
  } catch (...) {
    return false;
  }
}

}  // namespace

std::string ProgramPath() {
  std::error_code error;
  const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

std::string DesktopExecValue(const std::string& target) {
  // Inside the quotes, `"`, backquote, `$` and backslash take a backslash; a
  // literal "%" is written "%%". The value's own escaping comes on top.
  std::string quoted = "\"";
  for (const char c : target) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
    if (c == '%') quoted += '%';
  }
  return EscapeValue(quoted + '"');
}

DesktopShortcut::DesktopShortcut(std::string name, file::Filesystem& filesystem, std::string folder)
    : SimpleShortcut(std::move(name)), filesystem(filesystem), folder(std::move(folder)) {}

bool DesktopShortcut::Create(const std::string& target) {
  return Guarded([&] {
    if (!IsPlainName(name) || !filesystem.EnsureDirectory(folder)) return false;
    const std::string entry = name + ".desktop";
    if (filesystem.Exists(Join(folder, entry)) && !filesystem.Remove(folder, entry, false, false)) return false;
    const std::string text = "[Desktop Entry]\nType=Application\nName=" + EscapeValue(name) +
                             "\nExec=" + DesktopExecValue(target) + "\n";
    const std::string temporary = Join(folder, "." + entry + ".tmp");
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return false;
    // Desktops start only launchers marked executable.
    const bool written = ::fchmod(fd, 0755) == 0 &&
                         ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    if (!written || std::rename(temporary.c_str(), Join(folder, entry).c_str()) != 0) {
      ::unlink(temporary.c_str());
      return false;
    }
    return true;
  });
}

bool DesktopShortcut::CopyTo(const std::string& destinationFolder, const std::string& newName) {
  return Guarded([&] {
    if (!IsPlainName(name) || !IsPlainName(newName)) return false;
    const char* extension = filesystem.Exists(Join(folder, name + ".desktop")) ? ".desktop" : ".url";
    filesystem.Copy(Join(folder, name + extension), Join(destinationFolder, newName + extension), false);
    return true;
  });
}

bool DesktopShortcut::RemoveFrom(const std::string& from, const std::string& shortcutName) {
  return Guarded([&] {
    if (!IsPlainName(shortcutName)) return false;
    const std::string entry = shortcutName + ".desktop";
    return filesystem.Remove(from, filesystem.Exists(Join(from, entry)) ? entry : shortcutName + ".url", false,
                             false);
  });
}

}  // namespace ombrix::shortcut::posix
