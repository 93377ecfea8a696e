// The lock that serializes file I/O, mapping and write-through across the files of
// one filesystem.
#pragma once

#include <memory>
#include <mutex>

namespace ombrix::file {

// Guarantees: a recursive mutual-exclusion lock. The owning thread may take it
// again; it is released when every acquisition has been released. Meets the
// standard Lockable requirements. Shared by handle; the last holder destroys it.
class OperationContext {
 public:
  OperationContext() = default;
  OperationContext(const OperationContext&) = delete;
  OperationContext& operator=(const OperationContext&) = delete;

  void lock() { mutex_.lock(); }
  bool try_lock() { return mutex_.try_lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};

// Holds a context for the lifetime of the guard when one is given; does nothing for
// an empty handle. The caller keeps the handle alive while the guard lives.
class ContextGuard {
 public:
  explicit ContextGuard(const std::shared_ptr<OperationContext>& context) : context_(context.get()) {
    if (context_ != nullptr) context_->lock();
  }
  ~ContextGuard() {
    if (context_ != nullptr) context_->unlock();
  }
  ContextGuard(const ContextGuard&) = delete;
  ContextGuard& operator=(const ContextGuard&) = delete;

 private:
  OperationContext* context_;
};

}  // namespace ombrix::file
