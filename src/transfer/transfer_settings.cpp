#include "transfer/transfer_settings.h"

#include <limits>
#include <thread>

#include "deployment.h"

namespace ombrix {

std::uint32_t ProcessorDerivedDefault(std::uint32_t processors) {
  const std::uint32_t n = processors < 1 ? 1 : processors;
  return n > std::numeric_limits<std::uint32_t>::max() - 2 ? n : n + 2;
}

TransferSettings::TransferSettings() : TransferSettings(std::thread::hardware_concurrency()) {}

TransferSettings::TransferSettings(std::uint32_t processors)
    : manifestHost(deployment::kManifestHost),
      taskThreads(static_cast<std::int32_t>(ProcessorDerivedDefault(processors))),
      workflowConcurrency(ProcessorDerivedDefault(processors)),
      chunkConcurrency(ProcessorDerivedDefault(processors)),
      geolocationUrl(deployment::kGeolocationUrl) {}

}  // namespace ombrix
