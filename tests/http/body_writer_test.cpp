#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <vector>

#include "file/bounded_data.h"
#include "file/file_exceptions.h"
#include "http/bounded_data_writer.h"
#include "http/curl_request.h"
#include "http/stringstream_writer.h"
#include "http_test_support.h"
#include "support/test_http_server.h"

namespace ombrix::http {
namespace {

// An in-memory file range: absolute positions lowerBound..upperBound. The real
// mapped views and write caches behave alike at their bounds.
class MemoryBoundedData : public file::BoundedData {
 public:
  MemoryBoundedData(std::uint64_t lower, std::uint64_t upper)
      : BoundedData(lower, upper), bytes(upper - lower + 1), position_(lower) {}

  std::uint64_t GetPosition() override { return position_; }
  void SetPosition(std::uint64_t position) override {
    CheckBounds(position, position);
    position_ = position;
  }
  std::uint32_t Read(void*, std::uint32_t) override { return 0; }
  std::uint32_t Write(const void* buffer, std::uint32_t count) override {
    if (failWith) failWith();
    CheckBounds(position_, position_ + count - 1);
    const std::uint32_t n = std::min(count, acceptAtMost);
    std::memcpy(bytes.data() + (position_ - lowerBound), buffer, n);
    position_ += n;
    return n;
  }

  std::vector<char> bytes;
  std::uint32_t acceptAtMost = UINT32_MAX;
  std::function<void()> failWith;

 private:
  std::uint64_t position_;
};

TEST(BoundedDataWriter, WritesAtThePositionAndMapsFailures) {
  MemoryBoundedData target(1000, 1009);
  BoundedDataWriter writer(target);
  RequestResult empty = writer.Write("", 0);
  EXPECT_EQ(State::Complete, empty.state);
  EXPECT_EQ(0u, empty.bytesReceived);

  RequestResult first = writer.Write("abcdef", 6);
  EXPECT_EQ(State::Complete, first.state);
  EXPECT_EQ(6u, first.bytesReceived);
  EXPECT_EQ(1006u, target.GetPosition());

  RequestResult beyond = writer.Write("ghijk", 5);  // one byte past upperBound
  EXPECT_EQ(State::RangeError, beyond.state);
  EXPECT_EQ(0u, beyond.bytesReceived);
  EXPECT_EQ(1006u, target.GetPosition());

  target.acceptAtMost = 2;
  RequestResult partial = writer.Write("ghij", 4);
  EXPECT_EQ(State::WriteFailed, partial.state);
  EXPECT_EQ(2u, partial.bytesReceived);
  EXPECT_EQ("abcdefgh", std::string(target.bytes.data(), 8));

  target.failWith = [] { throw std::bad_alloc(); };
  EXPECT_EQ(State::OutOfMemory, writer.Write("x", 1).state);
  target.failWith = [] { throw file::InvalidMapException(); };
  EXPECT_EQ(State::WriteFailed, writer.Write("x", 1).state);
  target.failWith = [] { throw 42; };
  EXPECT_EQ(State::WriteFailed, writer.Write("x", 1).state);
}

// A full disk must stay distinguishable from a broken destination: the caller
// retries the first once space is freed and gives up on the second.
TEST(BoundedDataWriter, DiskFullIsReportedAsInsufficientSpace) {
  ombrix::test::TestHttpServer server;
  server.SetContent("/chunk", test::PatternContent(4096));
  MemoryBoundedData target(0, 4095);
  target.failWith = [] { throw file::InsufficientSpaceException(); };
  BoundedDataWriter writer(target);
  CurlRequest request(RequestOptions(server.Url("/chunk"), writer), std::make_shared<EmptyProxy>());
  RequestResult result = request.Perform();
  EXPECT_EQ(State::WriteFailed, result.state);
  EXPECT_EQ("insufficient space", result.errorSummary);
  EXPECT_TRUE(writer.FailedForInsufficientSpace());
  EXPECT_THROW(std::rethrow_exception(writer.Failure()), file::InsufficientSpaceException);

  MemoryBoundedData broken(0, 4095);
  broken.failWith = [] { throw file::InvalidMapException(); };
  BoundedDataWriter brokenWriter(broken);
  RequestResult other = brokenWriter.Write("x", 1);
  EXPECT_EQ(State::WriteFailed, other.state);
  EXPECT_EQ("", other.errorSummary);
  EXPECT_FALSE(brokenWriter.FailedForInsufficientSpace());
  EXPECT_THROW(std::rethrow_exception(brokenWriter.Failure()), file::InvalidMapException);
}

TEST(StringstreamWriter, AppendsUntilTheStreamFails) {
  std::ostringstream stream;
  StringstreamWriter writer(stream);
  EXPECT_EQ(State::Complete, writer.Write("", 0).state);
  RequestResult result = writer.Write("hello", 5);
  EXPECT_EQ(State::Complete, result.state);
  EXPECT_EQ(5u, result.bytesReceived);
  EXPECT_EQ("hello", stream.str());

  stream.setstate(std::ios::badbit);
  RequestResult failed = writer.Write("more", 4);
  EXPECT_EQ(State::WriteFailed, failed.state);
  EXPECT_EQ(0u, failed.bytesReceived);

  // A stream that reports failure by throwing (its buffer takes nothing).
  struct RefusingBuffer : std::streambuf {} full;
  std::ostream throwing(&full);
  throwing.exceptions(std::ios::badbit | std::ios::failbit);
  StringstreamWriter strict(throwing);
  RequestResult thrown{};
  EXPECT_NO_THROW(thrown = strict.Write("data", 4));
  EXPECT_EQ(State::WriteFailed, thrown.state);
  EXPECT_EQ(0u, thrown.bytesReceived);
}

// A chunk download whose server ignores the range sends more than the chunk holds:
// the writer stops it before a byte lands outside the range.
TEST(BoundedDataWriter, ServerIgnoringTheRangeEndsInRangeError) {
  ombrix::test::TestHttpServer server;
  const std::string content = test::PatternContent(256 * 1024);
  server.SetContent("/chunk", content);
  server.SetBehavior("/chunk", ombrix::test::Behavior{.ignoreRange = true});

  MemoryBoundedData target(4096, 8191);
  BoundedDataWriter writer(target);
  RequestOptions options(server.Url("/chunk"), writer);
  options.rangeFirst = 4096;
  options.rangeLast = 8191;
  CurlRequest request(options, std::make_shared<EmptyProxy>());
  RequestResult result = request.Perform();
  EXPECT_EQ(State::RangeError, result.state);
  EXPECT_EQ(200, result.responseCode);
  EXPECT_EQ("answer does not carry the requested range (HTTP 200)", result.errorSummary);
  EXPECT_EQ(4096u, target.GetPosition());  // caught before the first byte

  // The right range fills the target exactly.
  server.SetBehavior("/chunk", ombrix::test::Behavior{});
  target.SetPosition(4096);
  ASSERT_TRUE(request.Reset(options, std::make_shared<EmptyProxy>()));
  RequestResult good = request.Perform();
  EXPECT_EQ(State::Complete, good.state);
  EXPECT_EQ(4096u, good.bytesReceived);
  EXPECT_TRUE(content.substr(4096, 4096) == std::string(target.bytes.begin(), target.bytes.end()));

  // A server that answers another range than asked is caught the same way when it
  // would overflow the target.
  server.SetBehavior("/chunk", ombrix::test::Behavior{.sendRange = std::make_pair(0ull, 8191ull)});
  target.SetPosition(4096);
  ASSERT_TRUE(request.Reset(options, std::make_shared<EmptyProxy>()));
  EXPECT_EQ(State::RangeError, request.Perform().state);
}

}  // namespace
}  // namespace ombrix::http
