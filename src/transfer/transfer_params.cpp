#include "transfer/transfer_params.h"

#include <boost/property_tree/ptree.hpp>

namespace ombrix {

void TransferParams::Describe(boost::property_tree::ptree& tree) const {
  DescribeId(tree);
  tree.add("partnerId", partnerId);
  tree.add("packageId", packageId);
  tree.add("versionId", versionId);
  tree.add("destPath", destPath);
}

void TransferParams::DescribeId(boost::property_tree::ptree& tree) const {
  tree.add("transferId", transferId);
}

}  // namespace ombrix
