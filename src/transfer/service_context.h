// Every component of the transfer service, built in one order and torn down in
// the reverse one.
#pragma once

#include <memory>
#include <string>

#include "common/environment.h"
#include "events/json_http_analytics_manager.h"
#include "events/json_work_log_manager.h"
#include "events/analytics_manager.h"
#include "file/posix/filesystem_impl.h"
#include "http/curl_request_factory.h"
#include "http/posix/proxy_factory_impl.h"
#include "http/session_factory.h"
#include "manifest/geolocation_manifest_factory.h"
#include "manifest/node_list_manifest_factory.h"
#include "manifest/package_manifest_factory.h"
#include "selection/proportional_gambling_transfer_optimizer.h"
#include "transfer/standard_transfer.h"
#include "transfer/temp_file_manifest_store.h"
#include "transfer/temp_file_publication_serials.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_manager.h"
#include "transfer/transfer_settings.h"
#include "work/asio_work_manager.h"
#include "workflow/package_workflow.h"

namespace ombrix {

// Where the service finds the outside world. The defaults are the process's
// environment (proxies, the per-user folder) and the deployment's analytics
// endpoints; tests point them elsewhere.
struct ServiceEnvironment {
  ServiceEnvironment();

  Environment environment;
  std::string analyticsEventsUrl;
  std::string analyticsTransfersUrl;
  // The public key manifests must be signed with (base64 or PEM); empty for none.
  // A key file named by OMBRIX_TRUST_KEY_FILE in `environment` takes its place.
  std::string trustKey;
};

// Members are declared in construction order, so that they are destroyed in the
// reverse one: the behaviors, the task executor (queued leaves are dropped), the
// control executor (queued tasks still run), the reporters (which drain), the
// optimizer, the manager, the factories, the store, the manifest factories, the
// filesystem and the HTTP stack. The destructor first shuts the manager down, so
// every transfer is suspended while all components still exist.
class ServiceContext {
 public:
  ServiceContext(const TransferSettings& settings, const ServiceEnvironment& environment = ServiceEnvironment());
  ~ServiceContext();
  ServiceContext(const ServiceContext&) = delete;
  ServiceContext& operator=(const ServiceContext&) = delete;

  const TransferSettings settings;
  http::RoundRobinSessionFactory sessionFactory;
  http::posix::ProxyFactoryImpl proxyFactory;
  http::CurlRequestFactory requestFactory;
  file::posix::FilesystemImpl filesystem;
  std::shared_ptr<TempFilePublicationSerials> publicationSerials;
  XmlHttpPackageManifestFactory packageManifestFactory;
  XmlHttpNodeListManifestFactory nodeListManifestFactory;
  JsonHttpGeolocationManifestFactory geolocationManifestFactory;
  TransferPackageWorkflowFactory packageWorkflowFactory;
  VerifyTransferWorkflowFactory verifyWorkflowFactory;
  TempFileManifestStore recordStore;
  StoredTransferFactory storedTransferFactory;
  StandardTransferFactory standardTransferFactory;
  TempFileTransferManager transferManager;
  ProportionalGamblingTransferOptimizer transferOptimizer;
  JsonHttpAnalyticsManager analyticsManager;
  NullAnalyticsManager nullAnalyticsManager;
  JsonWorkLogManager workLogManager;
  AsioWorkManager controlExecutor;
  AsioWorkManager taskExecutor;
  TransferBehavior downloadBehavior;
  TransferBehavior verifyBehavior;
};

}  // namespace ombrix
