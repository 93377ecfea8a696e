// The check every path text passes before it reaches the platform.
#pragma once

#include <string_view>

namespace ombrix::file {

// True when `path` is well-formed UTF-8 (no overlong forms, surrogates or values
// past U+10FFFF) and holds no NUL byte, which the platform would silently treat as
// the end of the path. Pure; thread-safe.
bool IsValidPathText(std::string_view path);

// BadPathException unless IsValidPathText(path).
void CheckPathText(std::string_view path);

}  // namespace ombrix::file
