// Helpers shared by the HTTP client tests.
#pragma once

#include <atomic>
#include <memory>
#include <sstream>
#include <string>

#include "http/curl_request.h"
#include "http/proxy.h"
#include "http/stringstream_writer.h"
#include "support/wait.h"

namespace ombrix::http::test {

// Deterministic content whose every byte depends on its position.
inline std::string PatternContent(std::size_t size) {
  std::string content(size, '\0');
  for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
  return content;
}

// Collects the body and raises a signal once the first bytes arrived.
class CollectingWriter : public WriteCallback {
 public:
  RequestResult Write(const char* data, std::size_t length) override {
    RequestResult result = writer_.Write(data, length);
    if (length > 0) firstBytes.Notify();
    return result;
  }
  std::string Body() const { return stream_.str(); }

  ombrix::test::Signal firstBytes;

 private:
  std::ostringstream stream_;
  StringstreamWriter writer_{stream_};
};

// A proxy factory that hands out one proxy and counts the calls.
class CountingProxyFactory : public ProxyFactory {
 public:
  explicit CountingProxyFactory(std::shared_ptr<Proxy> proxy = std::make_shared<EmptyProxy>())
      : proxy_(std::move(proxy)) {}
  std::shared_ptr<Proxy> CreateProxy() override {
    ++calls;
    return proxy_;
  }
  std::atomic<int> calls{0};

 private:
  std::shared_ptr<Proxy> proxy_;
};

}  // namespace ombrix::http::test
