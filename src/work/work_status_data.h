// Details attached to a work status: an error message or a captured exception.
#pragma once

#include <exception>
#include <string>

#include "work/work_descriptor.h"

namespace ombrix {

// Abstract detail of a WorkStatus. Immutable once constructed: Describe and
// GetMessage may be called from any thread at any time.
class WorkStatusData : public WorkDescriptor {
 public:
  // One-line message; empty unless a subclass says otherwise.
  virtual std::string GetMessage() const;
};

// Carries one error message. Describe writes "errorMessage"; GetMessage returns it.
// Derives virtually so that a record can be both this and another status detail
// while holding a single WorkStatusData base.
class WorkErrorData : public virtual WorkStatusData {
 public:
  explicit WorkErrorData(std::string message) : message_(std::move(message)) {}

  void Describe(boost::property_tree::ptree& tree) const override;
  std::string GetMessage() const override;

 private:
  std::string message_;
};

// Carries a captured exception (possibly none).
// - Rethrow throws the captured exception, or std::logic_error
//   "WorkExceptionData::Rethrow called with no exception_ptr" when none is held.
// - Describe writes "exception" (the type name of a standard exception) and "what",
//   or only "exception" = "Unknown exception type" for any other thrown object.
// - GetMessage returns that same "exception" text.
// Type names are demangled where the platform allows it ("std::runtime_error").
class WorkExceptionData : public virtual WorkStatusData {
 public:
  explicit WorkExceptionData(std::exception_ptr exception) : exception_(std::move(exception)) {}

  [[noreturn]] void Rethrow() const;
  void Describe(boost::property_tree::ptree& tree) const override;
  std::string GetMessage() const override;

 private:
  std::exception_ptr exception_;
};

// Readable run-time type name of an exception object.
std::string ExceptionTypeName(const std::exception& exception);

}  // namespace ombrix
