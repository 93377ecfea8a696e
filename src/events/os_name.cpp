#include "events/os_name.h"

namespace ombrix {

std::string WindowsVersionName(unsigned major, unsigned minor, unsigned servicePack) {
  std::string name = "Windows";
  if (major < 5) name += " Unsupported";
  const std::string pack = std::to_string(servicePack);
  switch (major) {
    case 5:
      switch (minor) {
        case 0: return name + " 2000";
        case 1: return name + " XP SP" + pack;
        case 2: return name + " 2003";
        default: return name + " Unknown";
      }
    case 6:
      switch (minor) {
        case 0: return name + " Vista SP" + pack;
        case 1: return name + " 7 SP" + pack;
        case 2: return name + " 8";
        case 3: return name + " 8.1";
        default: return name + " Unknown";
      }
    case 10:
      return name + " 10";
    default:
      return name + " Unknown";
  }
}

}  // namespace ombrix
