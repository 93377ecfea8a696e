#include "transfer/service_context.h"

#include <filesystem>
#include <random>

#include "deployment.h"

namespace ombrix {

namespace {

TransferBehavior MakeBehavior(ServiceContext& context, TransferFactory& transferFactory,
                              AnalyticsManager& analyticsManager) {
  TransferBehavior behavior(context.settings);
  behavior.sessionFactory = &context.sessionFactory;
  behavior.requestFactory = &context.requestFactory;
  behavior.filesystem = &context.filesystem;
  behavior.packageManifestFactory = &context.packageManifestFactory;
  behavior.nodeListManifestFactory = &context.nodeListManifestFactory;
  behavior.geolocationManifestFactory = &context.geolocationManifestFactory;
  behavior.transferFactory = &transferFactory;
  behavior.transferOptimizer = &context.transferOptimizer;
  behavior.analyticsManager = &analyticsManager;
  behavior.workLogManager = &context.workLogManager;
  behavior.controlExecutor = &context.controlExecutor;
  behavior.taskExecutor = &context.taskExecutor;
  return behavior;
}

unsigned ThreadCount(std::int64_t count) { return count > 0 ? static_cast<unsigned>(count) : 1; }

}  // namespace

ServiceEnvironment::ServiceEnvironment()
    : environment(Environment::Current()),
      analyticsEventsUrl(deployment::kAnalyticsEventsUrl),
      analyticsTransfersUrl(deployment::kAnalyticsTransfersUrl),
      trustKey(deployment::kTrustKey) {}

ServiceContext::ServiceContext(const TransferSettings& settings, const ServiceEnvironment& environment)
    : settings(settings),
      proxyFactory(environment.environment),
      requestFactory(proxyFactory),
      filesystem(environment.environment),
      publicationSerials(std::make_shared<TempFilePublicationSerials>(
          filesystem, (std::filesystem::path(settings.transfersFolder).parent_path() / "publications").string())),
      packageManifestFactory(settings, requestFactory),
      nodeListManifestFactory(settings, requestFactory),
      geolocationManifestFactory(settings, requestFactory),
      recordStore(filesystem, settings.transfersFolder),
      storedTransferFactory(recordStore, packageWorkflowFactory),
      standardTransferFactory(verifyWorkflowFactory),
      transferManager(recordStore),
      transferOptimizer(settings, std::random_device()()),
      analyticsManager(requestFactory, sessionFactory, settings, environment.analyticsEventsUrl,
                       environment.analyticsTransfersUrl),
      workLogManager(settings.logLevel, settings.logsFolder, filesystem),
      controlExecutor(ThreadCount(settings.controlThreads), true),
      taskExecutor(ThreadCount(settings.taskThreads), false),
      downloadBehavior(MakeBehavior(*this, storedTransferFactory, analyticsManager)),
      verifyBehavior(MakeBehavior(*this, standardTransferFactory, nullAnalyticsManager)) {
  packageManifestFactory.SetTrust(ManifestTrust::Configure(environment.environment.Get(kTrustKeyFileVariable),
                                                           environment.trustKey, publicationSerials));
  try {
    LogServiceInitialize(workLogManager);
  } catch (...) {
    // The service works without its first log entry.
  }
}

ServiceContext::~ServiceContext() {
  try {
    transferManager.Shutdown();
  } catch (...) {
  }
}

}  // namespace ombrix
