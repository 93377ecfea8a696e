#include "support/test_http_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <cctype>
#include <charconv>
#include <fstream>
#include <stdexcept>

namespace ombrix::test {

namespace asio = boost::asio;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::optional<std::uint64_t> ParseNumber(std::string_view text) {
  std::uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// The inclusive range a "bytes=..." header asks of `size` bytes: nullopt when the
// header is absent or not a single byte range (the whole content is served), a
// range with first > last when it cannot be satisfied.
std::optional<std::pair<std::uint64_t, std::uint64_t>> ParseRange(const std::string& header,
                                                                  std::uint64_t size) {
  const std::string prefix = "bytes=";
  if (header.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  const std::string_view rangeText = std::string_view(header).substr(prefix.size());
  const std::size_t dash = rangeText.find('-');
  if (dash == std::string_view::npos || rangeText.find(',') != std::string_view::npos) return std::nullopt;
  const std::string_view firstText = rangeText.substr(0, dash), lastText = rangeText.substr(dash + 1);
  if (firstText.empty()) {  // suffix: the last n bytes
    auto count = ParseNumber(lastText);
    if (!count) return std::nullopt;
    if (*count == 0 || size == 0) return std::make_pair(std::uint64_t{1}, std::uint64_t{0});
    return std::make_pair(size - std::min(*count, size), size - 1);
  }
  auto first = ParseNumber(firstText);
  auto last = lastText.empty() ? std::optional<std::uint64_t>(UINT64_MAX) : ParseNumber(lastText);
  if (!first || !last || *last < *first) return std::nullopt;
  if (*first >= size) return std::make_pair(std::uint64_t{1}, std::uint64_t{0});
  return std::make_pair(*first, std::min(*last, size - 1));
}

// The path of a request target: scheme and authority of an absolute-form target
// and the query are dropped.
std::string PathOf(const std::string& target, bool& absoluteForm) {
  std::string path = target;
  absoluteForm = false;
  const std::size_t scheme = path.find("://");
  if (scheme != std::string::npos && path.front() != '/') {
    absoluteForm = true;
    const std::size_t slash = path.find('/', scheme + 3);
    path = slash == std::string::npos ? "/" : path.substr(slash);
  }
  const std::size_t query = path.find('?');
  if (query != std::string::npos) path.erase(query);
  return path;
}

}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
  auto found = headers.find(Lower(name));
  return found == headers.end() ? std::string() : found->second;
}

struct TestHttpServer::Listener {
  asio::io_context io;
  tcp::acceptor acceptor{io};
};

struct TestHttpServer::Connection {
  explicit Connection(asio::io_context& io) : socket(io) {}
  tcp::socket socket;
  std::thread thread;
  bool finished = false;  // guarded by the server's mutex_
};

struct TestHttpServer::Content {
  std::shared_ptr<const std::string> memory;  // or
  std::filesystem::path file;
  std::uint64_t size = 0;
  std::string contentType;
};

TestHttpServer::TestHttpServer() : listener_(std::make_unique<Listener>()) {
  tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), 0);
  // No SO_REUSEADDR: it buys nothing for a port the system picks, and it would let
  // the system hand out a port that another server of a parallel test run bound.
  listener_->acceptor.open(endpoint.protocol());
  listener_->acceptor.bind(endpoint);
  listener_->acceptor.listen();
  port_ = listener_->acceptor.local_endpoint().port();
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

TestHttpServer::~TestHttpServer() {
  std::vector<std::shared_ptr<Connection>> connections;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    stopping_ = true;
    // Shutting the sockets down (not closing them: their threads still own them)
    // wakes every blocked accept, read and write at once.
    ::shutdown(listener_->acceptor.native_handle(), SHUT_RDWR);
    for (auto& connection : connections_) ::shutdown(connection->socket.native_handle(), SHUT_RDWR);
    connections.swap(connections_);
  }
  changed_.notify_all();
  acceptThread_.join();
  for (auto& connection : connections) connection->thread.join();
}

std::string TestHttpServer::Authority() const { return "127.0.0.1:" + std::to_string(port_); }

std::string TestHttpServer::Url(const std::string& path) const {
  return "http://" + Authority() + path;
}

void TestHttpServer::SetContent(const std::string& path, std::string content,
                                std::string contentType) {
  SetContent(path, std::make_shared<const std::string>(std::move(content)), std::move(contentType));
}

void TestHttpServer::SetContent(const std::string& path, std::shared_ptr<const std::string> content,
                                std::string contentType) {
  auto entry = std::make_shared<Content>();
  entry->size = content->size();
  entry->memory = std::move(content);
  entry->contentType = std::move(contentType);
  std::lock_guard<std::mutex> guard(mutex_);
  content_[path] = std::move(entry);
}

void TestHttpServer::ServeFolder(const std::string& prefix, const std::filesystem::path& folder) {
  std::lock_guard<std::mutex> guard(mutex_);
  folders_.emplace_back(prefix, folder);
}

void TestHttpServer::SetBehavior(const std::string& path, Behavior behavior) {
  std::lock_guard<std::mutex> guard(mutex_);
  behaviors_[path] = std::move(behavior);
}

void TestHttpServer::SetHandler(const std::string& path,
                                std::function<Reply(const RecordedRequest&)> handler) {
  std::lock_guard<std::mutex> guard(mutex_);
  handlers_[path] = std::move(handler);
}

void TestHttpServer::ReleaseStalls() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    ++stallGeneration_;
  }
  changed_.notify_all();
}

std::size_t TestHttpServer::StalledCount() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return stalled_;
}

std::size_t TestHttpServer::ConnectionCount() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return connectionCount_;
}

std::vector<RecordedRequest> TestHttpServer::Requests() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return requests_;
}

std::vector<RecordedRequest> TestHttpServer::RequestsFor(const std::string& path) const {
  std::vector<RecordedRequest> result;
  std::lock_guard<std::mutex> guard(mutex_);
  for (const auto& request : requests_) {
    if (request.path == path) result.push_back(request);
  }
  return result;
}

std::size_t TestHttpServer::RequestCount(const std::string& path) const {
  std::lock_guard<std::mutex> guard(mutex_);
  return static_cast<std::size_t>(std::count_if(requests_.begin(), requests_.end(),
                                                [&](const auto& r) { return r.path == path; }));
}

void TestHttpServer::AcceptLoop() {
  for (;;) {
    auto connection = std::make_shared<Connection>(listener_->io);
    boost::system::error_code error;
    listener_->acceptor.accept(connection->socket, error);
    std::vector<std::shared_ptr<Connection>> finished;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      if (stopping_) return;
      if (error) continue;
      ++connectionCount_;
      // Small writes (a header, a slow piece) must leave at once.
      connection->socket.set_option(tcp::no_delay(true), error);
      auto split = std::partition(connections_.begin(), connections_.end(),
                                  [](const auto& c) { return !c->finished; });
      finished.assign(split, connections_.end());
      connections_.erase(split, connections_.end());
      connections_.push_back(connection);
      connection->thread = std::thread([this, connection] { Serve(connection); });
    }
    for (auto& done : finished) done->thread.join();
  }
}

void TestHttpServer::Serve(const std::shared_ptr<Connection>& connection) {
  boost::beast::flat_buffer buffer;
  for (;;) {
    http::request_parser<http::string_body> parser;
    parser.body_limit(256u << 20);
    boost::system::error_code error;
    http::read_header(connection->socket, buffer, parser, error);
    if (error) break;
    if (boost::beast::iequals(parser.get()[http::field::expect], "100-continue")) {
      // Spares the client its wait before sending a large body.
      http::response<http::empty_body> proceed(http::status::continue_, 11);
      http::write(connection->socket, proceed, error);
    }
    if (!error) http::read(connection->socket, buffer, parser, error);
    if (error) break;
    const auto& message = parser.get();
    RecordedRequest request;
    request.method = std::string(message.method_string());
    request.target = std::string(message.target());
    request.path = PathOf(request.target, request.absoluteForm);
    for (const auto& field : message) {
      request.headers[Lower(std::string(field.name_string()))] = std::string(field.value());
    }
    request.body = message.body();
    {
      std::lock_guard<std::mutex> guard(mutex_);
      if (stopping_) break;
      requests_.push_back(request);
    }
    bool reused = false;
    try {
      reused = Respond(*connection, request, message.keep_alive()) && message.keep_alive();
    } catch (const std::exception&) {
      // A throwing handler (or an answer Beast refuses) ends this connection only.
    }
    if (!reused) break;
  }
  boost::system::error_code ignored;
  connection->socket.shutdown(tcp::socket::shutdown_both, ignored);
  std::lock_guard<std::mutex> guard(mutex_);
  // The socket is closed by the thread that joins this one.
  connection->finished = true;
}

bool TestHttpServer::Wait(std::chrono::milliseconds delay) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, delay, [this] { return stopping_; });
  return !stopping_;
}

std::optional<TestHttpServer::Content> TestHttpServer::FindContent(const std::string& path) const {
  if (auto found = content_.find(path); found != content_.end()) return *found->second;
  for (const auto& [prefix, folder] : folders_) {
    if (path.compare(0, prefix.size(), prefix) != 0) continue;
    const std::filesystem::path relative = path.substr(prefix.size());
    // Neither ".." nor a rooted rest ("/files//etc/...") may leave the folder.
    if (path.find("..") != std::string::npos || relative.has_root_path()) continue;
    std::filesystem::path file = folder / relative;
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) continue;
    Content content;
    content.file = file;
    content.size = std::filesystem::file_size(file, error);
    content.contentType = "application/octet-stream";
    if (!error) return content;
  }
  return std::nullopt;
}

bool TestHttpServer::Respond(Connection& connection, const RecordedRequest& request, bool keepAlive) {
  Behavior behavior;
  std::function<Reply(const RecordedRequest&)> handler;
  std::optional<Content> content;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (auto found = behaviors_.find(request.path); found != behaviors_.end()) behavior = found->second;
    if (auto found = handlers_.find(request.path); found != handlers_.end()) handler = found->second;
    content = FindContent(request.path);
  }
  if (behavior.headerDelay.count() > 0 && !Wait(behavior.headerDelay)) return false;

  http::response<http::empty_body> head;
  head.version(11);
  head.keep_alive(keepAlive);
  head.set(http::field::server, "ombrix-test");
  std::string fixedBody;
  std::uint64_t first = 0, length = 0;

  if (handler) {
    Reply reply = handler(request);
    head.result(static_cast<unsigned>(reply.status));
    head.set(http::field::content_type, reply.contentType);
    for (const auto& [name, value] : reply.headers) head.set(name, value);
    fixedBody = std::move(reply.body);
  } else if (!behavior.redirectTo.empty()) {
    head.result(static_cast<unsigned>(behavior.redirectStatus));
    head.set(http::field::location, behavior.redirectTo);
  } else if (behavior.status != 0) {
    head.result(static_cast<unsigned>(behavior.status));
    fixedBody = "status " + std::to_string(behavior.status) + "\n";
  } else if (!content) {
    head.result(request.method == "POST" ? http::status::ok : http::status::not_found);
    if (request.method != "POST") fixedBody = "not found\n";
  } else {
    head.set(http::field::content_type, content->contentType);
    head.set(http::field::accept_ranges, "bytes");
    std::optional<std::pair<std::uint64_t, std::uint64_t>> range;
    if (behavior.sendRange) {
      range = behavior.sendRange;
    } else if (!behavior.ignoreRange) {
      range = ParseRange(request.Header("range"), content->size);
    }
    if (!range) {
      head.result(http::status::ok);
      length = content->size;
    } else if (range->first > range->second || range->second >= content->size) {
      head.result(http::status::range_not_satisfiable);
      head.set(http::field::content_range, "bytes */" + std::to_string(content->size));
    } else {
      head.result(http::status::partial_content);
      head.set(http::field::content_range, "bytes " + std::to_string(range->first) + "-" +
                                               std::to_string(range->second) + "/" +
                                               std::to_string(content->size));
      first = range->first;
      length = range->second - range->first + 1;
    }
  }
  for (const auto& [name, value] : behavior.headers) head.set(name, value);

  Content fixed;
  if (length == 0) {
    fixed.memory = std::make_shared<const std::string>(std::move(fixedBody));
    fixed.size = fixed.memory->size();
    length = fixed.size;
    first = 0;
  }
  head.content_length(length);
  http::response_serializer<http::empty_body> serializer(head);
  boost::system::error_code error;
  http::write_header(connection.socket, serializer, error);
  if (error) return false;
  return SendBody(connection, fixed.memory ? fixed : *content, first, length, behavior);
}

bool TestHttpServer::SendBody(Connection& connection, const Content& content, std::uint64_t first,
                              std::uint64_t length, const Behavior& behavior) {
  std::ifstream file;
  if (!content.memory) {
    file.open(content.file, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(first));
    if (!file) return false;
  }
  std::uint64_t generation;
  {
    // A release that comes after the body began counts, even before the stall.
    std::lock_guard<std::mutex> guard(mutex_);
    generation = stallGeneration_;
  }
  std::string scratch;
  bool stallPending = behavior.stallAfterBytes.has_value();
  std::uint64_t sent = 0;
  for (;;) {
    std::uint64_t next = length;
    if (behavior.slowChunkBytes > 0) next = std::min(next, sent + behavior.slowChunkBytes);
    if (stallPending) next = std::min(next, *behavior.stallAfterBytes);
    if (behavior.cutAfterBytes) next = std::min(next, *behavior.cutAfterBytes);
    if (next > sent) {
      const std::uint64_t count = next - sent;
      const char* data;
      if (content.memory) {
        data = content.memory->data() + first + sent;
      } else {
        scratch.resize(count);
        file.read(scratch.data(), static_cast<std::streamsize>(count));
        if (!file) return false;
        data = scratch.data();
      }
      boost::system::error_code error;
      asio::write(connection.socket, asio::buffer(data, count), error);
      if (error) return false;
      sent = next;
    }
    if (behavior.cutAfterBytes && sent == *behavior.cutAfterBytes) {
      if (behavior.resetOnCut) {
        // A zero linger time makes the close send a reset instead of a FIN.
        // Closed under the lock: the destructor reads the handle under it too.
        std::lock_guard<std::mutex> guard(mutex_);
        linger hard{1, 0};
        ::setsockopt(connection.socket.native_handle(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        boost::system::error_code ignored;
        connection.socket.close(ignored);
      }
      return false;
    }
    if (stallPending && sent == *behavior.stallAfterBytes) {
      stallPending = false;
      std::unique_lock<std::mutex> lock(mutex_);
      ++stalled_;
      changed_.wait(lock, [&] { return stopping_ || stallGeneration_ != generation; });
      --stalled_;
      if (stopping_) return false;
      continue;
    }
    if (sent >= length) return true;
    if (behavior.slowChunkBytes > 0 && behavior.slowChunkDelay.count() > 0 &&
        !Wait(behavior.slowChunkDelay)) {
      return false;
    }
  }
}

}  // namespace ombrix::test
