// The name of the operating system, as analytics documents and the work log give it.
#pragma once

#include <filesystem>
#include <string>

namespace ombrix {

// The process-wide name. It is computed during static initialization, before main
// runs and before any other thread exists, and only read afterwards; calling it
// from any thread is safe. On Linux: "Linux " + the distribution's PRETTY_NAME +
// " " + the kernel release (parts that are unknown are left out).
const std::string& GetOsName();

// The Windows naming of a version found by "at least" probing: "Windows" (with
// " Unsupported" for a major below 5) followed by the version's name, with the
// service pack in decimal for XP, Vista and 7 ("Windows 7 SP0").
std::string WindowsVersionName(unsigned major, unsigned minor, unsigned servicePack);

// The Linux name composed from the os-release file below `root` (etc/os-release,
// else usr/lib/os-release) and `kernelRelease`. PRETTY_NAME is unquoted like a
// shell value, stripped of control bytes and cut to at most 128 bytes (never in
// the middle of a UTF-8 sequence). Never throws for a missing or odd file.
std::string LinuxOsName(const std::filesystem::path& root, const std::string& kernelRelease);

// The PRETTY_NAME value of os-release `content`, prepared as above; "" when absent.
std::string ParseOsReleasePrettyName(const std::string& content);

}  // namespace ombrix
