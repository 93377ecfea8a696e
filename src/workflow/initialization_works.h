// The works in front of the file work: fetch the package record, the node list
// and the geolocation, then apply the package's geofence.
#pragma once

#include <exception>
#include <memory>
#include <mutex>

#include "work/limited_retry_simple_work.h"
#include "work/parallel_work.h"
#include "work/simple_work.h"
#include "workflow/transfer_work.h"

namespace ombrix {

class ManifestSource;

// The shared part of the three fetches. Guarantees: the source of the attempt in
// progress is held under a lock, so Interrupt (from any thread) cancels it; an
// Interrupt that arrives while the source is still being created is not lost,
// because the stop flag is checked right after the source is stored.
class ManifestFetchWork : public TransferWork, public LimitedRetrySimpleWork {
 public:
  ManifestFetchWork(std::shared_ptr<TransferWorkInterface> transfer, WorkCompleteCallback* route,
                    unsigned maxRetries);

  void Describe(boost::property_tree::ptree& tree) const override;
  void Interrupt() override;

 protected:
  virtual const char* Name() const = 0;
  // Makes `source` the current one; false when a stop was asked for meanwhile
  // (the attempt must then end as Interrupted without fetching).
  bool SetSource(std::shared_ptr<ManifestSource> source);
  // The outcome of a package or node-list fetch that threw.
  static WorkStatus FailureStatus(std::exception_ptr exception);

 private:
  std::mutex lock;
  std::shared_ptr<ManifestSource> source;  // guarded by lock
};

// Package record of the transfer's package and version (the current version when
// the version is empty or "?"). Retries stream failures up to manifestRetries.
class GetPackageManifestWork : public ManifestFetchWork {
 public:
  explicit GetPackageManifestWork(std::shared_ptr<TransferWorkInterface> transfer);
  WorkStatus ExecuteTask() override;

 protected:
  const char* Name() const override { return "GetPackageManifestWork"; }
};

// Node list of the transfer's partner. Retries stream failures up to manifestRetries.
class GetNodeListWork : public ManifestFetchWork {
 public:
  explicit GetNodeListWork(std::shared_ptr<TransferWorkInterface> transfer);
  WorkStatus ExecuteTask() override;

 protected:
  const char* Name() const override { return "GetNodeListWork"; }
};

// The user's country. Never stops a transfer: once its retries are spent, or on
// any unreadable answer, it succeeds with an empty record (no country).
class GetGeolocationWork : public ManifestFetchWork {
 public:
  explicit GetGeolocationWork(std::shared_ptr<TransferWorkInterface> transfer);
  WorkStatus ExecuteTask() override;

 protected:
  const char* Name() const override { return "GetGeolocationWork"; }
};

// The package record and the node list, fetched at the same time.
class GetManifestsWork : public TransferWork, public ParallelWork {
 public:
  explicit GetManifestsWork(std::shared_ptr<TransferWorkInterface> transfer);
  void Describe(boost::property_tree::ptree& tree) const override;
};

// Error Geofence ("Geofence|" + country) when the package's policy refuses the
// user's country. A courtesy to publishers, not a security boundary: the country
// comes from an unauthenticated answer the user can influence.
class GeofenceWork : public TransferWork, public SimpleWork {
 public:
  explicit GeofenceWork(std::shared_ptr<TransferWorkInterface> transfer);
  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;
  void Interrupt() override {}
};

}  // namespace ombrix
