#include "manifest/package_manifest.h"

#include <sstream>
#include <string>

#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>

#include "manifest/manifest_document.h"
#include "manifest/manifest_exceptions.h"

namespace ombrix {
namespace {

std::shared_ptr<StandardPackageManifest> ReadPackage(const std::string& xml) {
  std::istringstream stream(xml);
  boost::property_tree::ptree tree;
  ReadXmlDocument(stream, tree);
  auto package = std::make_shared<StandardPackageManifest>();
  package->Read(tree);
  return package;
}

// A valid package with the given extra package children and files element content.
std::string Package(const std::string& extra, const std::string& files,
                    const std::string& head = "<id>abc</id>") {
  return "<?xml version=\"1.0\"?><package>" + head +
         "<name>App</name><partnerId>p1</partnerId><versionId>42</versionId>" + extra +
         "<files>" + files + "</files></package>";
}

std::string File(const std::string& path, const std::string& chunkSize, const std::string& size,
                 const std::string& checksums) {
  return "<file><path>" + path + "</path><chunksize>" + chunkSize + "</chunksize><size>" + size +
         "</size><checksums>" + checksums + "</checksums></file>";
}

const std::string kOneChunk = File("bin/app", "4", "3", "1c291ca3");

TEST(PackageManifestRead, ReadsIdentityFilesAndRunSplit) {
  const auto package = ReadPackage(Package(
      "<run>bin/app</run>", File("data/a", "4", "10", "000000010000000200000003") + kOneChunk +
                                File("data/b", "1048576", "0", "")));
  EXPECT_EQ(package->GetId(), "abc");
  EXPECT_EQ(package->GetName(), "App");
  EXPECT_EQ(package->GetPartnerId(), "p1");
  EXPECT_EQ(package->GetVersionId(), "42");
  EXPECT_TRUE(package->IsActive());
  ASSERT_EQ(package->GetFiles().size(), 3u);
  ASSERT_EQ(package->GetRunFiles().size(), 1u);
  ASSERT_EQ(package->GetOtherFiles().size(), 2u);
  EXPECT_EQ(package->GetOtherFiles()[0]->GetPath(), "data/a");
  EXPECT_EQ(package->GetOtherFiles()[1]->GetPath(), "data/b");
  EXPECT_EQ(package->GetRunFile()->GetPath(), "bin/app");
  EXPECT_EQ(package->GetFiles()[0]->GetChecksums(), (std::vector<std::uint32_t>{1, 2, 3}));
  EXPECT_EQ(package->GetRunFile()->GetChecksums(), (std::vector<std::uint32_t>{0x1c291ca3}));
  EXPECT_TRUE(package->GetFiles()[2]->GetChecksums().empty());
}

TEST(PackageManifestRead, AttributesReadLikeChildElements) {
  const auto package = ReadPackage(
      "<package id=\"abc\" name=\"App\"><partnerId>p1</partnerId><versionId>42</versionId>"
      "<files><file path=\"bin/app\" chunksize=\"4\" size=\"3\" checksums=\"1c291ca3\"/></files>"
      "</package>");
  EXPECT_EQ(package->GetId(), "abc");
  EXPECT_EQ(package->GetName(), "App");
  EXPECT_EQ(package->GetFiles().at(0)->GetPath(), "bin/app");
  EXPECT_EQ(package->GetFiles().at(0)->GetSize(), 3u);
}

TEST(PackageManifestRead, AttributeOnFilesElementIsAnUnknownChild) {
  EXPECT_THROW(ReadPackage("<package><id>abc</id><name>App</name><partnerId>p1</partnerId>"
                           "<versionId>42</versionId><files count=\"1\">" +
                           kOneChunk + "</files></package>"),
               ManifestParseException);
}

TEST(PackageManifestRead, TextIsKeptAsWritten) {
  const auto package = ReadPackage(Package("", kOneChunk, "<id> abc\n</id>"));
  EXPECT_EQ(package->GetId(), " abc\n");
  // A run with a leading blank no longer names the file.
  EXPECT_THROW(ReadPackage(Package("<run> bin/app</run>", kOneChunk)), ManifestParseException);
}

TEST(PackageManifestRead, CommentsOnlyMatterInsideFiles) {
  EXPECT_NO_THROW(ReadPackage(Package("<!-- a note -->", kOneChunk)));
  EXPECT_THROW(ReadPackage(Package("", "<!-- a note -->" + kOneChunk)), ManifestParseException);
  EXPECT_THROW(ReadPackage(Package("", kOneChunk + "<other/>")), ManifestParseException);
}

TEST(PackageManifestRead, MissingOrEmptyIdentityIsInvalid) {
  EXPECT_THROW(ReadPackage("<manifest/>"), ManifestParseException);
  EXPECT_THROW(ReadPackage(Package("", kOneChunk, "")), ManifestParseException);
  EXPECT_THROW(ReadPackage(Package("", kOneChunk, "<id></id>")), ManifestParseException);
  EXPECT_THROW(ReadPackage("<package><id>a</id><name>n</name><partnerId>p</partnerId>"
                           "<versionId>v</versionId></package>"),
               ManifestParseException);
  EXPECT_THROW(ReadPackage("<package><id>a</id>"), ManifestParseException);
  EXPECT_NO_THROW(ReadPackage(Package("", "")));
}

TEST(PackageManifestRead, IsActiveConversion) {
  EXPECT_FALSE(ReadPackage(Package("<isActive>false</isActive>", ""))->IsActive());
  EXPECT_FALSE(ReadPackage(Package("<isActive> 0 </isActive>", ""))->IsActive());
  EXPECT_TRUE(ReadPackage(Package("<isActive>1</isActive>", ""))->IsActive());
  EXPECT_TRUE(ReadPackage(Package("<isActive>no</isActive>", ""))->IsActive());
}

TEST(PackageManifestRead, ChecksumTextMustHoldEightDigitsPerChunk) {
  const std::string ok(24, 'a');
  EXPECT_NO_THROW(ReadPackage(Package("", File("f", "4", "10", ok))));
  EXPECT_THROW(ReadPackage(Package("", File("f", "4", "10", ok.substr(1)))), ManifestParseException);
  EXPECT_THROW(ReadPackage(Package("", File("f", "4", "10", ok + "a"))), ManifestParseException);
  EXPECT_THROW(ReadPackage(Package("", File("f", "4", "0", "00000000"))), ManifestParseException);
  // Leading hexadecimal digits of a group are taken.
  const auto package = ReadPackage(Package("", File("f", "4", "4", "12zz5678")));
  EXPECT_EQ(package->GetFiles()[0]->GetChecksums(), (std::vector<std::uint32_t>{0x12}));
}

TEST(PackageManifestRead, NumbersConvertCompletelyOrNotAtAll) {
  EXPECT_NO_THROW(ReadPackage(Package("", File("f", " 4\n", "\t3 ", "00000000"))));
  for (const char* bad : {"", "x", "4x", "-4", "4.0", "0", "4294967296"}) {
    EXPECT_THROW(ReadPackage(Package("", File("f", bad, "3", "00000000"))), ManifestParseException)
        << "chunksize " << bad;
  }
  for (const char* bad : {"", "-1", "3 3", "18446744073709551616"}) {
    EXPECT_THROW(ReadPackage(Package("", File("f", "4", bad, "00000000"))), ManifestParseException)
        << "size " << bad;
  }
  EXPECT_THROW(ReadPackage(Package("", "<file><path>f</path><size>3</size><checksums>00000000"
                                       "</checksums></file>")),
               ManifestParseException);
}

TEST(PackageManifestRead, ChunkCountOverflowIsAParseFailure) {
  EXPECT_THROW(ReadPackage(Package("", File("f", "1", "536870912", ""))), ManifestParseException);
  EXPECT_THROW(ReadPackage(Package("", File("f", "4294967295", "18446744073709551615", ""))),
               ManifestParseException);
}

TEST(PackageManifestRead, PathsThatLeaveTheDestinationAreInvalid) {
  for (const char* bad : {"/etc/passwd", "\\windows\\x", "C:\\x", "c:x", "../x", "a/../../x",
                          "a\\..\\x", "..", "a/.."}) {
    EXPECT_THROW(ReadPackage(Package("", File(bad, "4", "3", "00000000"))), ManifestParseException)
        << bad;
  }
  for (const char* good : {"a..b", "..a/b", "a/.../b", "./a", "dir/file.exe"}) {
    EXPECT_NO_THROW(ReadPackage(Package("", File(good, "4", "3", "00000000")))) << good;
  }
  EXPECT_THROW(ReadPackage(Package("<run>../app</run>", File("../app", "4", "3", "00000000"))),
               ManifestParseException);
}

// A NUL ends a name at the system call ("..&#0;/x" would open ".."; "a&#0;1" and
// "a&#0;2" the same file "a"), and no file of a package needs another control
// character: paths and the run file refuse 0x00-0x1F and 0x7F, raw or decoded.
TEST(PackageManifestRead, ControlCharactersInPathsAreInvalid) {
  for (const std::string bad : {"..&#0;/x", "a&#0;1", "a&#1;", "a&#x1F;b", "a&#127;", "a\x01",
                                "a\tb", "a\x7f"}) {
    EXPECT_THROW(ReadPackage(Package("", File(bad, "4", "3", "00000000"))), ManifestParseException)
        << bad;
    EXPECT_THROW(ReadPackage(Package("<run>" + bad + "</run>", File(bad, "4", "3", "00000000"))),
                 ManifestParseException)
        << bad;
  }
  for (const std::string good : {"a b", "a~", "\xc3\xa5"}) {
    EXPECT_NO_THROW(
        ReadPackage(Package("<run>" + good + "</run>", File(good, "4", "3", "00000000"))))
        << good;
  }
}

TEST(PackageManifestRead, TwoRunFilesTheLaterWins) {
  const auto package = ReadPackage(Package(
      "<run>app</run>", File("app", "4", "3", "00000001") + File("app", "4", "3", "00000002")));
  EXPECT_EQ(package->GetRunFiles().size(), 2u);
  EXPECT_TRUE(package->GetOtherFiles().empty());
  EXPECT_EQ(package->GetRunFile()->GetChecksums()[0], 2u);
  EXPECT_EQ(package->GetRunFile(), package->GetFiles()[1]);
}

TEST(PackageManifestRead, VersionRules) {
  const std::string run = "<run>bin/app</run>";
  auto version = [&](const std::string& body) {
    return ReadPackage(Package(run + "<version>" + body + "</version>", kOneChunk));
  };
  EXPECT_NO_THROW(version("<id>42</id><run>bin/app</run>"));
  EXPECT_THROW(version("<id>43</id><run>bin/app</run>"), ManifestParseException);
  EXPECT_THROW(version("<id>42</id>"), ManifestParseException);  // run differs
  EXPECT_THROW(version("<run>bin/app</run>"), ManifestParseException);
  EXPECT_THROW(version("<id>42</id><run>bin/app</run><policy>whitelist</policy>"),
               ManifestParseException);
  EXPECT_THROW(version("<id>42</id><run>bin/app</run><countryCodes><countryCode>SE</countryCode>"
                       "</countryCodes>"),
               ManifestParseException);
  EXPECT_THROW(version("<id>42</id><run>bin/app</run><policy>Whitelist</policy><countryCodes>"
                       "<countryCode>SWE</countryCode></countryCodes>"),
               ManifestParseException);
  EXPECT_THROW(version("<id>42</id><run>bin/app</run><policy>Whitelist</policy><countryCodes>"
                       "<code>SE</code></countryCodes>"),
               ManifestParseException);
  const auto empty = version("<id>42</id><run>bin/app</run><policy>Whitelist</policy>");
  EXPECT_FALSE(empty->IsAllowed("SE"));
  const auto none = version("<id>42</id><run>bin/app</run><policy></policy>");
  EXPECT_EQ(none->GetVersion()->GetPolicy(), GeofencePolicy::None);
}

TEST(PackageManifestGeofence, PoliciesDecideByExactCode) {
  EXPECT_TRUE(ReadPackage(Package("", ""))->IsAllowed("XX"));
  auto withPolicy = [](const std::string& policy) {
    return ReadPackage(Package("<version><id>42</id><policy>" + policy +
                                   "</policy><countryCodes><countryCode>SE</countryCode>"
                                   "<countryCode>NO</countryCode></countryCodes></version>",
                               ""));
  };
  const auto whitelist = withPolicy("Whitelist");
  EXPECT_TRUE(whitelist->IsAllowed("SE"));
  EXPECT_FALSE(whitelist->IsAllowed("se"));
  EXPECT_FALSE(whitelist->IsAllowed("DK"));
  const auto blacklist = withPolicy("Blacklist");
  EXPECT_FALSE(blacklist->IsAllowed("NO"));
  EXPECT_TRUE(blacklist->IsAllowed("DK"));
  EXPECT_TRUE(withPolicy("None")->IsAllowed("SE"));
}

TEST(PackageManifestRead, FailedReadLeavesRecordUnchanged) {
  StandardPackageManifest package;
  std::istringstream good(Package("", kOneChunk));
  boost::property_tree::ptree tree;
  ReadXmlDocument(good, tree);
  package.Read(tree);
  std::istringstream bad(Package("", kOneChunk, "<id></id>"));
  ReadXmlDocument(bad, tree);
  EXPECT_THROW(package.Read(tree), ManifestParseException);
  EXPECT_EQ(package.GetId(), "abc");
  EXPECT_EQ(package.GetFiles().size(), 1u);
}

}  // namespace
}  // namespace ombrix
