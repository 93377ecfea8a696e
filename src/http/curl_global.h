// libcurl's process-wide initialization.
#pragma once

namespace ombrix::http {

// Runs libcurl's global initialization (all features) on the first call, once per
// process, and remembers whether it succeeded; the matching cleanup runs at process
// exit, after every request that was created after the first call is gone.
// Thread-safe. Call it on the main thread before starting request threads where
// possible; every request constructor calls it too.
bool InitializeCurlGlobally();

}  // namespace ombrix::http
