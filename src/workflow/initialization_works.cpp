#include "workflow/initialization_works.h"

#include <boost/property_tree/ptree.hpp>
#include <algorithm>
#include <new>

#include "manifest/geolocation_manifest.h"
#include "manifest/geolocation_manifest_factory.h"
#include "manifest/http_manifest_exceptions.h"
#include "manifest/manifest_source.h"
#include "manifest/node_list_manifest.h"
#include "manifest/node_list_manifest_factory.h"
#include "manifest/package_manifest.h"
#include "manifest/package_manifest_factory.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_work_interface.h"
#include "workflow/initialization_status_data.h"

namespace ombrix {

namespace {

WorkStatus ExceptionStatus(TransferError error, std::exception_ptr exception) {
  return WorkStatus(WorkResult::Error, std::make_shared<TransferExceptionData>(error, exception));
}

// Allocation failures and anything unexpected, common to every fetch.
WorkStatus OtherFailure(std::exception_ptr exception) {
  try {
    std::rethrow_exception(exception);
  } catch (const std::bad_alloc&) {
    return ExceptionStatus(TransferError::OutOfMemory, exception);
  } catch (...) {
    return ExceptionStatus(TransferError::Internal, exception);
  }
}

std::string PackageLocator(const TransferParams& params) {
  // "?" is the placeholder of the current version, like an empty version.
  if (params.versionId.empty() || params.versionId == kUnsetText) return params.packageId;
  return params.packageId + "/" + params.versionId;
}

}  // namespace

ManifestFetchWork::ManifestFetchWork(std::shared_ptr<TransferWorkInterface> transfer, WorkCompleteCallback* route,
                                     unsigned maxRetries)
    : TransferWork(transfer), LimitedRetrySimpleWork(route, maxRetries) {
  AddCompleteCallback(WorkLogCompleteCallback(*transfer, true));
  AddRetryCallback(WorkLogRetryCallback(*transfer, true));
}

void ManifestFetchWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", Name());
  DescribeTransfer(tree, false);
}

void ManifestFetchWork::Interrupt() {
  std::lock_guard<std::mutex> held(lock);
  if (source) source->Cancel();
}

bool ManifestFetchWork::SetSource(std::shared_ptr<ManifestSource> fresh) {
  std::lock_guard<std::mutex> held(lock);
  source = std::move(fresh);
  return !IsStopRequested();
}

WorkStatus ManifestFetchWork::FailureStatus(std::exception_ptr exception) {
  try {
    std::rethrow_exception(exception);
  } catch (const ManifestAbortedException&) {
    return WorkStatus(WorkResult::Interrupted);
  } catch (const HttpManifestStreamException& e) {
    return WorkStatus(WorkResult::RetryableError,
                      std::make_shared<HttpManifestStatusData>(TransferError::Network, e.GetResult()));
  } catch (const HttpManifestLocatorException& e) {
    return WorkStatus(WorkResult::Error,
                      std::make_shared<HttpManifestStatusData>(TransferError::ContentUnavailable, e.GetResult()));
  } catch (const ManifestException&) {
    return ExceptionStatus(TransferError::ContentUnavailable, exception);
  } catch (...) {
    return OtherFailure(exception);
  }
}

GetPackageManifestWork::GetPackageManifestWork(std::shared_ptr<TransferWorkInterface> transfer)
    : ManifestFetchWork(transfer, transfer->GetPackageRoute(),
                        static_cast<unsigned>(std::max(0, transfer->GetBehavior().settings.manifestRetries))) {}

WorkStatus GetPackageManifestWork::ExecuteTask() {
  try {
    const std::string locator = PackageLocator(transfer->GetParams());
    PackageManifestFactory& factory = *transfer->GetBehavior().packageManifestFactory;
    auto* http = dynamic_cast<HttpPackageManifestFactory*>(&factory);
    std::shared_ptr<ManifestSource> source =
        http != nullptr ? http->CreateSource(locator, transfer->GetSession()) : factory.CreateSource(locator);
    if (!SetSource(source)) return WorkStatus(WorkResult::Interrupted);
    std::shared_ptr<const PackageManifest> package = factory.Load(*source, locator);
    if (!package->IsActive()) {
      return WorkStatus(WorkResult::Error,
                        std::make_shared<TransferErrorData>(
                            TransferError::ContentUnavailable, "GetPackageManifestWork::ExecuteTask acquired a disabled manifest"));
    }
    return WorkStatus(WorkResult::Success, std::make_shared<PackageStatusData>(std::move(package)));
  } catch (...) {
    return FailureStatus(std::current_exception());
  }
}

GetNodeListWork::GetNodeListWork(std::shared_ptr<TransferWorkInterface> transfer)
    : ManifestFetchWork(transfer, transfer->GetNodeListRoute(),
                        static_cast<unsigned>(std::max(0, transfer->GetBehavior().settings.manifestRetries))) {}

WorkStatus GetNodeListWork::ExecuteTask() {
  try {
    const std::string locator = transfer->GetParams().partnerId;
    NodeListManifestFactory& factory = *transfer->GetBehavior().nodeListManifestFactory;
    auto* http = dynamic_cast<HttpNodeListManifestFactory*>(&factory);
    std::shared_ptr<ManifestSource> source =
        http != nullptr ? http->CreateSource(locator, transfer->GetSession()) : factory.CreateSource(locator);
    if (!SetSource(source)) return WorkStatus(WorkResult::Interrupted);
    std::shared_ptr<const NodeListManifest> nodeList = factory.Load(*source, locator);
    return WorkStatus(WorkResult::Success, std::make_shared<NodeListStatusData>(std::move(nodeList)));
  } catch (...) {
    return FailureStatus(std::current_exception());
  }
}

GetGeolocationWork::GetGeolocationWork(std::shared_ptr<TransferWorkInterface> transfer)
    : ManifestFetchWork(transfer, transfer->GetGeolocationRoute(),
                        transfer->GetBehavior().settings.geolocationRetries) {}

WorkStatus GetGeolocationWork::ExecuteTask() {
  // A record with every field empty, never a null one: later works read it.
  const auto unknown = [] {
    return WorkStatus(WorkResult::Success,
                      std::make_shared<GeolocationStatusData>(std::make_shared<StandardGeolocationManifest>()));
  };
  try {
    GeolocationManifestFactory& factory = *transfer->GetBehavior().geolocationManifestFactory;
    auto* http = dynamic_cast<HttpGeolocationManifestFactory*>(&factory);
    std::shared_ptr<ManifestSource> source =
        http != nullptr ? http->CreateSource(transfer->GetSession()) : factory.CreateSource();
    if (!SetSource(source)) return WorkStatus(WorkResult::Interrupted);
    std::shared_ptr<const GeolocationManifest> geolocation = factory.Load(*source);
    return WorkStatus(WorkResult::Success, std::make_shared<GeolocationStatusData>(std::move(geolocation)));
  } catch (const ManifestAbortedException&) {
    return WorkStatus(WorkResult::Interrupted);
  } catch (const HttpManifestStreamException& e) {
    if (GetRetryCount() < maxRetries) {
      return WorkStatus(WorkResult::RetryableError,
                        std::make_shared<HttpManifestStatusData>(TransferError::Network, e.GetResult()));
    }
    return unknown();
  } catch (const ManifestException&) {
    return unknown();
  } catch (...) {
    return OtherFailure(std::current_exception());
  }
}

GetManifestsWork::GetManifestsWork(std::shared_ptr<TransferWorkInterface> transfer)
    : TransferWork(transfer), ParallelWork(WorkLogCompleteCallback(*transfer, false)) {
  AddChild(std::make_shared<GetPackageManifestWork>(transfer));
  AddChild(std::make_shared<GetNodeListWork>(transfer));
}

void GetManifestsWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "GetManifestsWork");
  DescribeTransfer(tree, false);
}

GeofenceWork::GeofenceWork(std::shared_ptr<TransferWorkInterface> transfer)
    : TransferWork(transfer), SimpleWork(WorkLogCompleteCallback(*transfer, true)) {}

void GeofenceWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "GeofenceWork");
  DescribeTransfer(tree, false);
}

WorkStatus GeofenceWork::ExecuteTask() {
  const auto package = transfer->GetPackage();
  const auto geolocation = transfer->GetGeolocation();
  if (!package || !geolocation) {
    return WorkStatus(WorkResult::Error,
                      std::make_shared<TransferErrorData>(TransferError::Internal,
                                                          "GeofenceWork::ExecuteTask called without package or geolocation"));
  }
  const std::string& country = geolocation->GetCountryCode();
  if (package->IsAllowed(country)) return WorkStatus(WorkResult::Success);
  return WorkStatus(WorkResult::Error, std::make_shared<TransferErrorData>(TransferError::Geofence, "Geofence|" + country));
}

}  // namespace ombrix
