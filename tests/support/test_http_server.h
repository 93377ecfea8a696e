// An in-process HTTP/1.1 server on 127.0.0.1 for tests: serves content and byte
// ranges, records every request, and injects faults per path.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace ombrix::test {

// One request as the server received it.
struct RecordedRequest {
  std::string method;                          // "GET", "POST", ...
  std::string target;                          // as on the request line
  std::string path;                            // target without scheme, authority and query
  bool absoluteForm = false;                   // "GET http://host/path": sent to a proxy
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;

  // The header's value, "" when absent; `name` in any letter case.
  std::string Header(const std::string& name) const;
};

// How the server answers one path. The default serves the path's content, with
// ranges ("bytes=a-b", "bytes=a-", "bytes=-n") as 206 and unsatisfiable ones as 416.
struct Behavior {
  int status = 0;                               // answer this status with a short body
  std::chrono::milliseconds headerDelay{0};     // wait before the status line
  std::optional<std::uint64_t> stallAfterBytes{}; // send this much body, then stall
                                                // until ReleaseStalls or shutdown
  std::uint64_t slowChunkBytes = 0;             // send the body in pieces of this size
  std::chrono::milliseconds slowChunkDelay{0};  // with this pause after each piece
  std::optional<std::uint64_t> cutAfterBytes{};  // send this much body, then end the connection
  bool resetOnCut = false;                      // end it with a reset (RST) instead of a FIN
  bool ignoreRange = false;                     // 200 with the whole content
  std::optional<std::pair<std::uint64_t, std::uint64_t>> sendRange{};  // 206 with this range
  std::string redirectTo{};                     // answer redirectStatus with this Location
  int redirectStatus = 302;
  std::vector<std::pair<std::string, std::string>> headers{};  // added to every answer
};

// A computed answer for a path (see SetHandler).
struct Reply {
  int status = 200;
  std::string body;
  std::string contentType = "application/octet-stream";
  std::vector<std::pair<std::string, std::string>> headers;
};

// Guarantees: listens from construction on 127.0.0.1 with a port chosen by the
// system; every public operation is thread-safe and may be called while requests
// are served; the destructor ends every connection (stalled, slow or idle
// keep-alive ones included) and returns promptly. A request whose target is in
// absolute form ("http://host/path", as sent to a forward proxy) is served from the
// same content by its path, so the server also acts as a proxy in front of itself.
// Unknown paths are 404; a POST to a path without content is answered 200 with an
// empty body. Paths are matched exactly, without the query.
class TestHttpServer {
 public:
  TestHttpServer();
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  std::uint16_t Port() const { return port_; }
  // "127.0.0.1:PORT", usable as a proxy address.
  std::string Authority() const;
  // "http://127.0.0.1:PORT" + path.
  std::string Url(const std::string& path = "") const;

  void SetContent(const std::string& path, std::string content,
                  std::string contentType = "application/octet-stream");
  // Shares a large buffer instead of copying it.
  void SetContent(const std::string& path, std::shared_ptr<const std::string> content,
                  std::string contentType = "application/octet-stream");
  // Serves the files below `folder` at `prefix` + relative path ("/files/" + "a/b.bin").
  void ServeFolder(const std::string& prefix, const std::filesystem::path& folder);
  void SetBehavior(const std::string& path, Behavior behavior);
  // Answers the path by calling `handler` (on a server thread) with the request.
  void SetHandler(const std::string& path, std::function<Reply(const RecordedRequest&)> handler);

  // Lets every stalled response go on with the rest of its body.
  void ReleaseStalls();
  // Responses that are stalled right now.
  std::size_t StalledCount() const;
  // Connections accepted so far.
  std::size_t ConnectionCount() const;

  std::vector<RecordedRequest> Requests() const;
  std::vector<RecordedRequest> RequestsFor(const std::string& path) const;
  std::size_t RequestCount(const std::string& path) const;

 private:
  struct Connection;
  struct Content;

  void AcceptLoop();
  void Serve(const std::shared_ptr<Connection>& connection);
  bool Respond(Connection& connection, const RecordedRequest& request, bool keepAlive);
  bool SendBody(Connection& connection, const Content& content, std::uint64_t first,
                std::uint64_t length, const Behavior& behavior);
  bool Wait(std::chrono::milliseconds delay);
  std::optional<Content> FindContent(const std::string& path) const;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;                                  // guarded by mutex_
  std::uint64_t stallGeneration_ = 0;                      // guarded by mutex_
  std::size_t stalled_ = 0;                                // guarded by mutex_
  std::size_t connectionCount_ = 0;                        // guarded by mutex_
  std::map<std::string, std::shared_ptr<Content>> content_;        // guarded by mutex_
  std::vector<std::pair<std::string, std::filesystem::path>> folders_;  // guarded by mutex_
  std::map<std::string, Behavior> behaviors_;              // guarded by mutex_
  std::map<std::string, std::function<Reply(const RecordedRequest&)>> handlers_;  // guarded
  std::vector<RecordedRequest> requests_;                  // guarded by mutex_
  std::vector<std::shared_ptr<Connection>> connections_;   // guarded by mutex_

  struct Listener;
  std::unique_ptr<Listener> listener_;
  std::uint16_t port_ = 0;
  std::thread acceptThread_;
};

}  // namespace ombrix::test
