// The initialization works end to end: a real workflow on real threads fetching
// the package, the node list and the geolocation over real HTTP from the loopback
// server, then the geofence.
#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>

#include "http/curl_request_factory.h"
#include "http/session_factory.h"
#include "manifest/geolocation_manifest.h"
#include "manifest/geolocation_manifest_factory.h"
#include "manifest/node_list_manifest_factory.h"
#include "manifest/package_manifest_factory.h"
#include "support/fake_transfer_work_interface.h"
#include "support/test_http_server.h"
#include "support/wait.h"
#include "work/asio_work_manager.h"
#include "work/sequential_work.h"
#include "work/standard_workflow.h"
#include "workflow/initialization_status_data.h"
#include "workflow/initialization_works.h"

namespace ombrix {
namespace {

using test::TestHttpServer;

class NoProxyFactory : public http::ProxyFactory {
 public:
  std::shared_ptr<http::Proxy> CreateProxy() override { return std::make_shared<http::EmptyProxy>(); }
};

const char* const kPackagePath = "/manifests/K/current.xml";
const char* const kNodesPath = "/nodes/P.xml";
const char* const kGeoPath = "/geo-location";

std::string PackageXml(const std::string& extra) {
  return "<?xml version=\"1.0\"?><package><id>K</id><name>App</name><partnerId>P</partnerId>"
         "<versionId>42</versionId>" + extra + "<files></files></package>";
}

std::string Geofenced(const std::string& policy) {
  return PackageXml("<version><id>42</id><policy>" + policy +
                    "</policy><countryCodes><countryCode>SE</countryCode></countryCodes></version>");
}

std::string GeoJson(const std::string& country) {
  return "{\"ip\":\"192.0.2.7\",\"country_code\":\"" + country + "\"}";
}

struct Outcome {
  WorkflowState state = WorkflowState::NotStarted;
  WorkStatus status;  // the root's completion, or the retryable error reported
};

class InitializationWorksTest : public ::testing::Test {
 protected:
  InitializationWorksTest() {
    server.SetContent(kPackagePath, PackageXml(""));
    server.SetContent(kNodesPath,
                      "<ArrayOfNodeInfo><NodeInfo><NodeId>n1</NodeId><Host>h.example</Host></NodeInfo>"
                      "</ArrayOfNodeInfo>");
    server.SetContent(kGeoPath, GeoJson("NO"));
    transfer->params.partnerId = "P";
    transfer->params.packageId = "K";
    transfer->behavior.packageManifestFactory = &packages;
    transfer->behavior.nodeListManifestFactory = &nodeLists;
    transfer->behavior.geolocationManifestFactory = &geolocations;
    transfer->SetSession(sessions.CreateSession());
  }

  // Manifests, geolocation and geofence in the order of a package workflow; runs
  // until the root completes or the workflow waits for a retry.
  Outcome Run() {
    auto root = std::make_shared<SequentialWork>();
    root->AddChild(std::make_shared<GetManifestsWork>(transfer));
    root->AddChild(std::make_shared<GetGeolocationWork>(transfer));
    root->AddChild(std::make_shared<GeofenceWork>(transfer));
    test::RecordingCompleteRoute rootDone;
    test::RecordingRetryableErrorCallback waiting;
    root->AddCompleteCallback(&rootDone);
    auto workflow = StandardWorkflow::Create(root, executor, 8);
    workflow->AddRetryableErrorCallback(&waiting);
    EXPECT_TRUE(workflow->Start());
    EXPECT_TRUE(test::WaitUntil([&] { return rootDone.Count() > 0 || waiting.Count() > 0; }));
    EXPECT_TRUE(test::WaitUntil([&] { return workflow->GetRunningCount() == 0; }));
    Outcome outcome;
    outcome.state = workflow->GetState();
    outcome.status = rootDone.Count() > 0 ? rootDone.Last() : waiting.Statuses().front();
    return outcome;
  }

  static TransferError ErrorOf(const WorkStatus& status) {
    const auto data = std::dynamic_pointer_cast<const TransferStatusData>(status.data);
    return data ? data->ToTransferError() : TransferError::None;
  }

  TestHttpServer server;
  NoProxyFactory proxies;
  http::CurlRequestFactory requests{proxies};
  http::RoundRobinSessionFactory sessions;
  XmlHttpPackageManifestFactory packages{server.Authority(), requests, 5, 120};
  XmlHttpNodeListManifestFactory nodeLists{server.Authority(), requests, 5, 120};
  JsonHttpGeolocationManifestFactory geolocations{server.Url(kGeoPath), requests, 5, 120};
  std::shared_ptr<test::FakeTransferWorkInterface> transfer = std::make_shared<test::FakeTransferWorkInterface>();
  AsioWorkManager executor{4, false};
};

TEST_F(InitializationWorksTest, AsksForTheWantedVersion) {
  server.SetContent("/manifests/K/42.xml", PackageXml(""));
  for (const char* version : {"?", "", "42"}) {
    SCOPED_TRACE(version);
    transfer->params.versionId = version;
    const std::size_t current = server.RequestCount(kPackagePath);
    const std::size_t pinned = server.RequestCount("/manifests/K/42.xml");
    EXPECT_EQ(Run().status.result, WorkResult::Success);
    EXPECT_EQ(server.RequestCount(kPackagePath) - current, std::string(version) == "42" ? 0u : 1u);
    EXPECT_EQ(server.RequestCount("/manifests/K/42.xml") - pinned, std::string(version) == "42" ? 1u : 0u);
  }
}

TEST_F(InitializationWorksTest, GeofenceDecidesOnTheCountryCode) {
  struct Case {
    const char* policy;
    const char* country;  // nullptr: the geolocation service is down
    const char* refusal;  // nullptr: admitted
  } cases[] = {
      {"Blacklist", "SE", "Geofence|SE"},
      {"Blacklist", "NO", nullptr},
      {"Whitelist", "SE", nullptr},
      {"Blacklist", nullptr, nullptr},
      {"Whitelist", nullptr, "Geofence|"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.policy) + " " + (c.country ? c.country : "down"));
    transfer->SetGeolocation(nullptr);
    transfer->params.versionId = "?";
    server.SetContent(kPackagePath, Geofenced(c.policy));
    if (c.country) {
      server.SetBehavior(kGeoPath, {});
      server.SetContent(kGeoPath, GeoJson(c.country));
    } else {
      server.SetBehavior(kGeoPath, {.status = 503});
    }
    const std::size_t geoRequests = server.RequestCount(kGeoPath);
    const Outcome outcome = Run();
    if (c.refusal) {
      EXPECT_EQ(outcome.status.result, WorkResult::Error);
      EXPECT_EQ(ErrorOf(outcome.status), TransferError::Geofence);
      ASSERT_TRUE(outcome.status.data);
      EXPECT_EQ(outcome.status.data->GetMessage(), std::string("error|10|") + c.refusal);
    } else {
      EXPECT_EQ(outcome.status.result, WorkResult::Success);
    }
    // A geolocation that cannot be obtained is an empty record, not a missing one.
    ASSERT_TRUE(transfer->GetGeolocation());
    EXPECT_EQ(transfer->GetGeolocation()->GetCountryCode(), c.country ? c.country : "");
    EXPECT_EQ(server.RequestCount(kGeoPath) - geoRequests,
              c.country ? 1u : 1u + transfer->behavior.settings.geolocationRetries);
  }
}

TEST_F(InitializationWorksTest, PauseEndsAFetchInFlight) {
  server.SetBehavior(kPackagePath, {.stallAfterBytes = 0});
  auto work = std::make_shared<GetPackageManifestWork>(transfer);
  auto workflow = StandardWorkflow::Create(work, executor, 8);
  ASSERT_TRUE(workflow->Start());
  ASSERT_TRUE(test::WaitUntil([&] { return server.StalledCount() == 1; }));
  ASSERT_TRUE(workflow->Pause());
  // The fetch's own time-out is 120 s; the wait gives up after 30.
  ASSERT_TRUE(transfer->packageRoute.WaitForCount(1));
  EXPECT_EQ(transfer->packageRoute.Last().result, WorkResult::Interrupted);
  EXPECT_TRUE(test::WaitUntil([&] { return workflow->GetRunningCount() == 0; }));
  EXPECT_EQ(workflow->GetState(), WorkflowState::Paused);
}

// A stop that arrives while the attempt is still creating its source, before the
// source can be cancelled, ends the attempt before it sends anything.
TEST_F(InitializationWorksTest, StopWhileCreatingTheSourceIsNotLost) {
  class InterruptingFactory : public XmlHttpPackageManifestFactory {
   public:
    using XmlHttpPackageManifestFactory::XmlHttpPackageManifestFactory;
    using XmlHttpPackageManifestFactory::CreateSource;
    std::shared_ptr<ManifestSource> CreateSource(const std::string& locator,
                                                 std::shared_ptr<http::Session> session) override {
      auto source = XmlHttpPackageManifestFactory::CreateSource(locator, std::move(session));
      work->RequestStop();
      work->Interrupt();
      return source;
    }
    GetPackageManifestWork* work = nullptr;
  } factory(server.Authority(), requests, 5, 120);
  server.SetBehavior(kPackagePath, {.stallAfterBytes = 0});
  transfer->behavior.packageManifestFactory = &factory;
  auto work = std::make_shared<GetPackageManifestWork>(transfer);
  factory.work = work.get();
  EXPECT_EQ(work->ExecuteTask().result, WorkResult::Interrupted);
  EXPECT_EQ(server.RequestCount(kPackagePath), 0u);
}

TEST(ManifestStatusData, AnalyticsLabels) {
  boost::property_tree::ptree tree;
  GeolocationStatusData(nullptr).Describe(tree);
  EXPECT_EQ(tree.get<std::string>("geolocation"), "null");
  EXPECT_EQ(GeolocationStatusData(nullptr).GetMessage(), "error|10|null");
  EXPECT_EQ(GeolocationStatusData(std::make_shared<StandardGeolocationManifest>()).GetMessage(), "error|10|");

  http::RequestResult result;
  result.state = http::State::ClientError;
  result.errorSummary = "summary";
  EXPECT_EQ(HttpManifestStatusData(TransferError::None, result).GetMessage(), "");
  EXPECT_EQ(HttpManifestStatusData(TransferError::ContentUnavailable, result).GetMessage(),
            "error|manifest|1|7|summary");
  result.proxyConfig = "manual";
  EXPECT_EQ(HttpManifestStatusData(TransferError::ContentUnavailable, result).GetMessage(),
            "error|manifest|proxy|1|7|summary");
}

}  // namespace
}  // namespace ombrix
