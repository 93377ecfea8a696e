#include "transfer/transfer_behavior.h"

namespace ombrix {

TransferBehavior::~TransferBehavior() = default;

}  // namespace ombrix
