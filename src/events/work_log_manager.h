// The work log as the works see it: the callbacks they register to be logged.
#pragma once

namespace ombrix {

class WorkCompleteCallback;
class SimpleWorkRetryCallback;

// Hands out the logging callbacks; each exists once per manager and outlives every
// work that registers it. A marked callback's occurrences are logged in a category
// of their own (successful completions of marked works are recorded too at the
// default level); unmarked ones only when they fail or retry. Thread-safe.
class WorkLogManager {
 public:
  WorkLogManager() = default;
  WorkLogManager(const WorkLogManager&) = delete;
  WorkLogManager& operator=(const WorkLogManager&) = delete;
  virtual ~WorkLogManager() = default;

  virtual WorkCompleteCallback* GetWorkCompleteCallback(bool marked) = 0;
  virtual SimpleWorkRetryCallback* GetRetryCallback(bool marked) = 0;
};

}  // namespace ombrix
