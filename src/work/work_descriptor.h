// Anything that can write a description of itself into a property tree.
#pragma once

#include <boost/property_tree/ptree_fwd.hpp>

namespace ombrix {

// Guarantees: Describe only adds entries under the node it is given and never
// removes or rewrites entries already there. Whether Describe is safe to call
// concurrently is for each implementation to say; the records of the work engine
// (statuses, status data) are immutable once published and may be described from
// any thread.
class WorkDescriptor {
 public:
  virtual ~WorkDescriptor() = default;
  virtual void Describe(boost::property_tree::ptree& tree) const = 0;
};

}  // namespace ombrix
