// The environment through which a family of transfers reaches its settings and
// the service components.
#pragma once

#include "transfer/transfer_settings.h"

namespace ombrix {

namespace http {
class SessionFactory;
class RequestFactory;
}  // namespace http

namespace file {
class Filesystem;
}  // namespace file

class PackageManifestFactory;
class NodeListManifestFactory;
class GeolocationManifestFactory;
class TransferFactory;
class TransferOptimizer;
class AnalyticsManager;
class WorkLogManager;
class WorkManager;

// A plain holder: a copy of the settings taken at construction, and non-owning
// pointers to components owned by the transfer service, which outlive every
// behavior. The service fills every pointer before handing a behavior out; after
// that nobody writes the settings or the pointers, so copies may be read from any
// thread. Copying a behavior copies the settings and shares the components.
class TransferBehavior {
 public:
  explicit TransferBehavior(const TransferSettings& settings) : settings(settings) {}
  TransferBehavior(const TransferBehavior&) = default;
  TransferBehavior& operator=(const TransferBehavior&) = default;
  virtual ~TransferBehavior();

  TransferSettings settings;
  http::SessionFactory* sessionFactory = nullptr;
  http::RequestFactory* requestFactory = nullptr;
  file::Filesystem* filesystem = nullptr;
  PackageManifestFactory* packageManifestFactory = nullptr;
  NodeListManifestFactory* nodeListManifestFactory = nullptr;
  GeolocationManifestFactory* geolocationManifestFactory = nullptr;
  TransferFactory* transferFactory = nullptr;        // creates the transfers of this family
  TransferOptimizer* transferOptimizer = nullptr;
  AnalyticsManager* analyticsManager = nullptr;      // reports (or drops) this family's events
  WorkLogManager* workLogManager = nullptr;
  WorkManager* controlExecutor = nullptr;            // transfer-level deferred tasks
  WorkManager* taskExecutor = nullptr;               // every leaf of every workflow
};

}  // namespace ombrix
