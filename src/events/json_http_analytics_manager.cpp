#include "events/json_http_analytics_manager.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "common/json_writer.h"
#include "http/request.h"
#include "http/request_factory.h"
#include "http/session_factory.h"
#include "http/write_callback.h"
#include "transfer/transfer_settings.h"
#include "work/work_status_data.h"

namespace ombrix {

namespace {

// Accepts the answer's body and keeps none of it: the answer is never read, so a
// large or endless one costs no memory.
class DiscardWriter : public http::WriteCallback {
 public:
  http::RequestResult Write(const char*, std::size_t length) override {
    http::RequestResult result;
    result.state = http::State::Complete;
    result.bytesReceived = length;
    return result;
  }
};

std::int32_t ToSeconds(std::uint32_t seconds) {
  return static_cast<std::int32_t>(
      std::min<std::uint32_t>(seconds, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

JsonHttpAnalyticsEventWork::JsonHttpAnalyticsEventWork(
    std::int32_t category, std::string url, http::RequestFactory& requestFactory,
    std::shared_ptr<http::Session> session, std::uint32_t connectTimeout, std::uint32_t timeout,
    std::uint32_t maxRetries, WorkCompleteCallback* callback)
    : TrackEventWork(category, callback),
      url(std::move(url)),
      requestFactory(requestFactory),
      session(std::move(session)),
      connectTimeout(connectTimeout),
      timeout(timeout),
      maxRetries(maxRetries) {}

WorkStatus JsonHttpAnalyticsEventWork::ExecuteTask() {
  DiscardWriter writer;
  http::RequestOptions options(url, writer);
  try {
    WriteJson(document, options.body);
  } catch (const JsonWriteException&) {
    return WorkStatus(WorkResult::Error,
                      std::make_shared<WorkExceptionData>(std::current_exception()));
  }
  options.method = http::RequestOptions::kPost;
  options.contentType = "application/json";
  options.connectTimeoutSeconds = ToSeconds(connectTimeout);
  options.timeoutSeconds = ToSeconds(timeout);

  std::shared_ptr<http::Request> request = requestFactory.CreateRequest(options, session);
  {
    std::lock_guard<std::mutex> held(lock);
    currentRequest = request;
    // An Interrupt that came before the request existed: it never starts.
    if (cancelRequested || stopRequested.load()) request->Cancel();
  }
  const http::RequestResult result = request->Perform();
  {
    std::lock_guard<std::mutex> held(lock);
    currentRequest.reset();
  }

  switch (result.state) {
    case http::State::Complete:
      return WorkStatus(WorkResult::Success);
    case http::State::ConnectFailed:
    case http::State::ServerError:
    case http::State::SecurityError:
      return WorkStatus(WorkResult::RetryableError);
    default:
      return WorkStatus(WorkResult::Error);
  }
}

void JsonHttpAnalyticsEventWork::Interrupt() {
  std::lock_guard<std::mutex> held(lock);
  cancelRequested = true;
  if (currentRequest) currentRequest->Cancel();
}

bool JsonHttpAnalyticsEventWork::ShouldRetry() {
  if (retryCount >= maxRetries) return false;
  ++retryCount;
  return true;
}

void JsonHttpAnalyticsEventWork::Reset() {
  TrackEventWork::Reset();
  retryCount = 0;
  std::lock_guard<std::mutex> held(lock);
  cancelRequested = false;
}

JsonHttpAnalyticsManager::JsonHttpAnalyticsManager(http::RequestFactory& requestFactory,
                                                   http::SessionFactory& sessionFactory,
                                                   const TransferSettings& settings,
                                                   std::string eventsUrl,
                                                   std::string transfersUrl)
    : AnalyticsManager(3),
      requestFactory(requestFactory),
      session(sessionFactory.CreateSession()),
      connectTimeout(settings.analyticsConnectTimeout),
      timeout(settings.analyticsTimeout),
      retries(settings.analyticsRetries),
      eventsUrl(std::move(eventsUrl)),
      transfersUrl(std::move(transfersUrl)),
      finished([this](const std::shared_ptr<Work>& work, const WorkStatus&) {
        OnDocumentFinished(work);
      }) {}

JsonHttpAnalyticsManager::~JsonHttpAnalyticsManager() {
  {
    std::unique_lock<std::mutex> held(pendingLock);
    pendingChanged.wait_for(held, kDrainDeadline, [this] { return pending.empty(); });
    closing = true;
    // Past the deadline: a black-holed endpoint would hold each post for its full
    // timeout. Stop every document still pending; a running post ends at its
    // request's next progress check.
    for (auto& entry : pending) {
      entry.second->RequestStop();
      entry.second->Interrupt();
    }
  }
  executor.Stop();   // documents not yet started are dropped
  executor.Drain();  // joins the threads once the cancelled posts have returned
  std::lock_guard<std::mutex> held(pendingLock);
  pending.clear();
}

std::shared_ptr<TrackEventWork> JsonHttpAnalyticsManager::CreateWork(std::int32_t category) {
  return std::make_shared<JsonHttpAnalyticsEventWork>(
      category, category == kTransfersCategory ? transfersUrl : eventsUrl, requestFactory,
      session, connectTimeout, timeout, retries, &finished);
}

void JsonHttpAnalyticsManager::Submit(std::shared_ptr<TrackEventWork> work) {
  auto document = std::dynamic_pointer_cast<JsonHttpAnalyticsEventWork>(std::move(work));
  if (!document) return;
  {
    std::lock_guard<std::mutex> held(pendingLock);
    if (closing || pending.size() >= kMaxQueuedDocuments ||
        pending.count(document.get()) != 0) {
      ++dropped;
      return;
    }
    document->Reset();
    pending.emplace(document.get(), document);
  }
  executor.RunDetached(std::move(document));
}

std::uint64_t JsonHttpAnalyticsManager::GetDroppedCount() const {
  std::lock_guard<std::mutex> held(pendingLock);
  return dropped;
}

void JsonHttpAnalyticsManager::OnDocumentFinished(const std::shared_ptr<Work>& work) {
  std::shared_ptr<JsonHttpAnalyticsEventWork> finishedWork;  // released outside the lock
  std::lock_guard<std::mutex> held(pendingLock);
  const auto found = pending.find(work.get());
  if (found == pending.end()) return;
  finishedWork = std::move(found->second);
  pending.erase(found);
  if (pending.empty()) pendingChanged.notify_all();
}

}  // namespace ombrix
