// The outcome a work delivers when it completes.
#pragma once

#include <cstdint>
#include <memory>

#include "work/work_descriptor.h"

namespace ombrix {

class WorkStatusData;

// Outcome of one run of a work. The numeric values are part of the logs and
// analytics documents and never change.
enum class WorkResult : std::uint8_t {
  Success = 0,
  Failure = 1,
  Interrupted = 2,
  RetryableError = 3,
  Error = 4,
};

// A copyable value. Copies share the same `data` object, which is never modified
// after the status is published, so copies may travel to other threads freely.
// `retry` is true only while the retry logic of a leaf or a composite is about to
// try the work again.
class WorkStatus : public WorkDescriptor {
 public:
  explicit WorkStatus(WorkResult result = WorkResult::Error,
                      std::shared_ptr<const WorkStatusData> data = nullptr)
      : result(result), data(std::move(data)) {}

  // Writes "result" (decimal value), "retry" ("true"/"false") and, only when data
  // is present, a child node "data" filled by the data's own Describe.
  void Describe(boost::property_tree::ptree& tree) const override;

  WorkResult result;
  bool retry = false;
  std::shared_ptr<const WorkStatusData> data;
};

}  // namespace ombrix
