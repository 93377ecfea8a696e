// One reusable HTTP exchange.
#pragma once

#include <memory>
#include <optional>

#include "http/proxy.h"
#include "http/request_options.h"
#include "http/request_result.h"

namespace ombrix::http {

// Performs at most one GET or POST between construction (or Reset) and the next
// Reset, streaming the body into the options' writer. Transfer failures are never
// exceptions, only the result's state. Perform runs on one thread at a time; Cancel,
// GetResult and Reset may be called from any thread while it runs: Cancel stops the
// transfer at its next callback, Reset refuses (returns false) while it runs.
class Request {
 public:
  virtual ~Request() = default;
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  // Runs the transfer to its end (blocking) unless it already ran or was cancelled,
  // then returns the result.
  virtual RequestResult Perform() = 0;
  // A consistent copy of the current result.
  virtual RequestResult GetResult() = 0;
  // An idle or running request becomes Cancelled; a finished one is unchanged.
  virtual void Cancel() = 0;
  // Makes the request idle with new options and proxy; false (and no change)
  // while it is performing.
  virtual bool Reset(const RequestOptions& options, std::shared_ptr<Proxy> proxy) = 0;

 protected:
  Request() = default;
  Request(const RequestOptions& options, std::shared_ptr<Proxy> proxy)
      : options(options), proxy(std::move(proxy)) {}

  // Empty only in wrappers that forward to another request.
  std::optional<RequestOptions> options;
  std::shared_ptr<Proxy> proxy;
};

}  // namespace ombrix::http
