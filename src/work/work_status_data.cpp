#include "work/work_status_data.h"

#include <cxxabi.h>

#include <boost/property_tree/ptree.hpp>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <typeinfo>

namespace ombrix {

namespace {
constexpr const char* kUnknownExceptionType = "Unknown exception type";
}

std::string ExceptionTypeName(const std::exception& exception) {
  const char* mangled = typeid(exception).name();
  int state = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &state), std::free);
  return state == 0 && demangled ? std::string(demangled.get()) : std::string(mangled);
}

std::string WorkStatusData::GetMessage() const { return std::string(); }

void WorkErrorData::Describe(boost::property_tree::ptree& tree) const {
  tree.add("errorMessage", message_);
}

std::string WorkErrorData::GetMessage() const { return message_; }

void WorkExceptionData::Rethrow() const {
  if (!exception_) {
    throw std::logic_error("WorkExceptionData::Rethrow called with no exception_ptr");
  }
  std::rethrow_exception(exception_);
}

void WorkExceptionData::Describe(boost::property_tree::ptree& tree) const {
  try {
    Rethrow();
  } catch (const std::exception& exception) {
    tree.add("exception", ExceptionTypeName(exception));
    tree.add("what", exception.what());
  } catch (...) {
    tree.add("exception", kUnknownExceptionType);
  }
}

std::string WorkExceptionData::GetMessage() const {
  try {
    Rethrow();
  } catch (const std::exception& exception) {
    return ExceptionTypeName(exception);
  } catch (...) {
    return kUnknownExceptionType;
  }
}

}  // namespace ombrix
