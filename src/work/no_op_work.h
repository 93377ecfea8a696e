// The leaf that does nothing and succeeds.
#pragma once

#include <memory>

#include "work/simple_work.h"

namespace ombrix {

// Its task always answers Success with no data; Interrupt does nothing; Describe
// writes "name" = "NoOpWork". Always owned through a shared handle (Create).
class NoOpWork : public SimpleWork {
 public:
  static std::shared_ptr<NoOpWork> Create(WorkCompleteCallback* callback = nullptr) {
    return std::make_shared<NoOpWork>(callback);
  }

  explicit NoOpWork(WorkCompleteCallback* callback = nullptr) : SimpleWork(callback) {}

  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override { return WorkStatus(WorkResult::Success); }
  void Interrupt() override {}
};

}  // namespace ombrix
