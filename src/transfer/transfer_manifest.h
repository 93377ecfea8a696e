// The stored record of one transfer, and its file format.
#pragma once

#include <boost/property_tree/ptree_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "manifest/input_manifest.h"
#include "transfer/transfer_params.h"

namespace ombrix {

// The record is one JSON object of five string members: "transferId",
// "partnerId", "packageId", "versionId", "destPath". Only those five values of the
// params are stored; flags and the progress basis are not.
class TransferManifest : public InputManifest, public OutputManifest {
 public:
  TransferManifest() = default;
  explicit TransferManifest(TransferParams params) : params(std::move(params)) {}

  // Starts from default params. ManifestParseException when a member is missing or
  // not a plain value, or when destPath is not an absolute path: such a record
  // would put files relative to whatever folder the service runs in.
  void Read(const boost::property_tree::ptree& tree) override;
  void Write(boost::property_tree::ptree& tree) const override;

  TransferParams params;
};

// The record text of a flat tree of string members: a JSON object, members in
// tree order, one "\n" after it. Only '"', '\\' and bytes below 0x20 are escaped,
// so UTF-8 text (a destination like "/home/josé") is written as it is.
std::string WriteRecordJson(const boost::property_tree::ptree& tree);

// The tree of a record text: exactly one JSON object whose members all have
// string values, with no repeated name, surrounded by white space at most. Any
// other JSON (numbers, nested values, arrays) or broken text answers nothing.
// \uXXXX escapes (surrogate pairs included) become UTF-8.
std::optional<boost::property_tree::ptree> ReadRecordJson(std::string_view text);

}  // namespace ombrix
