#include "work/work_status.h"

#include <boost/property_tree/ptree.hpp>
#include <string>

#include "work/work_status_data.h"

namespace ombrix {

void WorkStatus::Describe(boost::property_tree::ptree& tree) const {
  tree.add("result", std::to_string(static_cast<unsigned>(result)));
  tree.add("retry", retry ? "true" : "false");
  if (data) data->Describe(tree.add_child("data", boost::property_tree::ptree()));
}

}  // namespace ombrix
