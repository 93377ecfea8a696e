// A reporting work: one document of one category, delivered by its subclass.
#pragma once

#include <boost/property_tree/ptree.hpp>
#include <cstdint>

#include "work/simple_work.h"

namespace ombrix {

// Carries a document that its creator fills before submitting the work to the
// manager that made it; the subclass's task delivers it (posts it, writes it, or
// drops it). Describes nothing, and never asks for a retry unless a subclass does.
// The document is written only before submission and read only by the task.
class TrackEventWork : public SimpleWork {
 public:
  explicit TrackEventWork(std::int32_t category, WorkCompleteCallback* callback = nullptr)
      : SimpleWork(callback), category(category) {}

  void Describe(boost::property_tree::ptree& tree) const override;

  boost::property_tree::ptree& GetDocument() { return document; }
  const boost::property_tree::ptree& GetDocument() const { return document; }
  std::int32_t GetCategory() const { return category; }

 protected:
  boost::property_tree::ptree document;
  const std::int32_t category;
};

}  // namespace ombrix
