// The platform version text: the user agent, analytics ("ombrixv") and the
// service-start log entry ("ombrixVersion") carry it.
#pragma once

namespace ombrix {

inline constexpr const char* kPlatformVersion = "1.3.5";

}  // namespace ombrix
