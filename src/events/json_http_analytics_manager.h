// The analytics reporter that posts each document as JSON to its endpoint.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "events/analytics_manager.h"
#include "events/track_event_work.h"
#include "work/work_callbacks.h"

namespace ombrix {

namespace http {
class Request;
class RequestFactory;
class Session;
class SessionFactory;
}  // namespace http

struct TransferSettings;

// Category of the documents that go to the transfers endpoint; every other
// category goes to the events endpoint.
inline constexpr std::int32_t kTransfersCategory = 32;

// Posts its document (written by the shared JSON writer) to `url` as
// "application/json" and discards the answer. Complete is Success; ConnectFailed,
// ServerError and SecurityError are retryable, immediately and at most maxRetries
// times per run; every other outcome is an Error and the document is dropped.
// Interrupt (from any thread) cancels the request in flight; a run whose stop flag
// is raised does not start another attempt.
class JsonHttpAnalyticsEventWork : public TrackEventWork {
 public:
  JsonHttpAnalyticsEventWork(std::int32_t category, std::string url,
                             http::RequestFactory& requestFactory,
                             std::shared_ptr<http::Session> session,
                             std::uint32_t connectTimeout, std::uint32_t timeout,
                             std::uint32_t maxRetries, WorkCompleteCallback* callback = nullptr);

  WorkStatus ExecuteTask() override;
  void Interrupt() override;
  bool ShouldRetry() override;
  void Reset() override;

  const std::string& GetUrl() const { return url; }

 private:
  const std::string url;
  http::RequestFactory& requestFactory;
  const std::shared_ptr<http::Session> session;
  const std::uint32_t connectTimeout;  // seconds
  const std::uint32_t timeout;         // seconds, whole request
  const std::uint32_t maxRetries;
  std::uint32_t retryCount = 0;        // only touched by the running thread and Reset

  std::mutex lock;
  std::shared_ptr<http::Request> currentRequest;  // guarded by lock
  bool cancelRequested = false;                   // guarded by lock
};

// The reporter of the download family: 3 threads, one HTTP session for all its
// posts, the analytics limits and retry count of the settings.
//
// Guarantees, so that reporting never slows a transfer nor holds the process:
// - Submit only queues; it never waits for the network. While more than
//   kMaxQueuedDocuments documents are waiting or being posted, further documents
//   are dropped (the newest are lost, the oldest still go out).
// - Destruction gives the queued documents up to kDrainDeadline to be posted, then
//   cancels the posts in flight and drops the documents not yet started, joins its
//   threads and releases the session. It must not run on one of its own threads.
// Works given to Submit must come from this manager's CreateWork; others are
// dropped. CreateWork and Submit are thread-safe.
class JsonHttpAnalyticsManager : public AnalyticsManager {
 public:
  static constexpr std::size_t kMaxQueuedDocuments = 1000;
  static constexpr std::chrono::milliseconds kDrainDeadline{2000};

  // The URLs are the endpoints' base addresses, posted to exactly as given (in the
  // service: deployment::kAnalyticsEventsUrl and kAnalyticsTransfersUrl). The
  // request factory must outlive the manager.
  JsonHttpAnalyticsManager(http::RequestFactory& requestFactory,
                           http::SessionFactory& sessionFactory,
                           const TransferSettings& settings, std::string eventsUrl,
                           std::string transfersUrl);
  ~JsonHttpAnalyticsManager() override;

  std::shared_ptr<TrackEventWork> CreateWork(std::int32_t category) override;
  void Submit(std::shared_ptr<TrackEventWork> work) override;

  // Documents dropped so far because the queue was full or the manager was closing.
  std::uint64_t GetDroppedCount() const;

 private:
  void OnDocumentFinished(const std::shared_ptr<Work>& work);

  http::RequestFactory& requestFactory;
  std::shared_ptr<http::Session> session;
  const std::uint32_t connectTimeout;
  const std::uint32_t timeout;
  const std::uint32_t retries;
  const std::string eventsUrl;
  const std::string transfersUrl;

  WorkCompleteCallbackRoute finished;
  mutable std::mutex pendingLock;
  std::condition_variable pendingChanged;
  // Submitted and not yet finished, keyed by identity.            guarded by pendingLock
  std::unordered_map<const Work*, std::shared_ptr<JsonHttpAnalyticsEventWork>> pending;
  bool closing = false;                                         // guarded by pendingLock
  std::uint64_t dropped = 0;                                    // guarded by pendingLock
};

}  // namespace ombrix
