#include "common/paths.h"

namespace ombrix {

namespace {
bool IsSeparator(char c) { return c == '/' || c == '\\'; }
}  // namespace

std::string JoinPath(const std::string& left, const std::string& right) {
  if (left.empty()) return right;
  if (right.empty()) return left;
  if (IsSeparator(left.back()) || IsSeparator(right.front())) return left + right;
  return left + "/" + right;
}

}  // namespace ombrix
