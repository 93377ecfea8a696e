#include "transfer/transfer_params.h"

#include <cstdint>

#include <boost/property_tree/ptree.hpp>
#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid.hpp>

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

std::string NewTransferId() {
  // The generator draws from the operating system's entropy source; it sets the
  // version (4) and variant (10xx) bits itself.
  const boost::uuids::uuid id = boost::uuids::random_generator()();
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * id.size());
  for (const std::uint8_t byte : id) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

}  // namespace ombrix
