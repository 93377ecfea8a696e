// Path text helpers shared by every subsystem.
#pragma once

#include <string>

namespace ombrix {

// Joins two path texts, inserting "/" only where neither side already has a
// separator at the seam. An empty side yields the other side unchanged.
std::string JoinPath(const std::string& left, const std::string& right);

}  // namespace ombrix
