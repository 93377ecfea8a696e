#include "work/no_op_work.h"

#include <boost/property_tree/ptree.hpp>

namespace ombrix {

void NoOpWork::Describe(boost::property_tree::ptree& tree) const { tree.add("name", "NoOpWork"); }

}  // namespace ombrix
