// What a transfer downloads, where to, and under which identifier.
#pragma once

#include <cstdint>
#include <string>

#include "work/work_descriptor.h"

namespace ombrix {

// The placeholder of every text that was not given: an absent identifier, version
// or destination.
inline constexpr const char* kUnsetText = "?";

// A copyable value. Not synchronized: the transfer guards its own instance with its
// lock and hands out copies (TransferWorkInterface::GetParams).
class TransferParams : public WorkDescriptor {
 public:
  // Which counter measures the work done for the time-remaining estimate.
  static constexpr std::uint32_t kProgressDownloaded = 0;
  static constexpr std::uint32_t kProgressVerified = 1;

  // "transferId", "partnerId", "packageId", "versionId", "destPath", each as its
  // text. This is also the stored record's format.
  void Describe(boost::property_tree::ptree& tree) const override;
  // "transferId" only: status records of works name their transfer with it.
  void DescribeId(boost::property_tree::ptree& tree) const;

  std::string transferId = kUnsetText;
  std::string partnerId = kUnsetText;
  std::string packageId = kUnsetText;
  std::string versionId = kUnsetText;  // kUnsetText = the current version
  std::string destPath = kUnsetText;   // UTF-8 folder; kUnsetText = not chosen yet
  bool restored = false;               // brought back from a record, or suspended
  bool preallocate = true;             // files get their full size before chunks
  std::uint32_t progressBasis = kProgressDownloaded;  // any other value: no estimate
};

// A fresh transfer identifier: a random version-4 UUID written as 32 lowercase
// hexadecimal digits without dashes. Every call seeds a new generator.
std::string NewTransferId();

}  // namespace ombrix
