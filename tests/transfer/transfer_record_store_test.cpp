// Transfer records on disk: written atomically and privately, read back only when
// they are exactly what the store writes, never outside their folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <boost/property_tree/ptree.hpp>
#include <filesystem>
#include <fstream>

#include "common/environment.h"
#include "file/posix/filesystem_impl.h"
#include "support/temp_dir.h"
#include "transfer/temp_file_manifest_store.h"

namespace ombrix {
namespace {

namespace fs = std::filesystem;

constexpr const char* kId = "0123456789abcdef0123456789abcdef";

class RecordStoreTest : public ::testing::Test {
 protected:
  RecordStoreTest() : filesystem(Environment({{"TMPDIR", dir.str()}})) {}

  fs::path Folder() const { return dir.path() / "Co/App/transfers"; }
  fs::path RecordPath() const { return Folder() / (std::string(kId) + ".json"); }

  static TransferManifest Record(const std::string& destPath) {
    TransferParams params;
    params.transferId = kId;
    params.partnerId = "P";
    params.packageId = "K";
    params.versionId = "?";
    params.destPath = destPath;
    return TransferManifest(params);
  }

  test::TempDir dir;
  file::posix::FilesystemImpl filesystem;
  TempFileManifestStore store{filesystem, "Co/App/transfers"};
};

TEST_F(RecordStoreTest, SavedRecordComesBackPrivateAndKeepsTheFirst) {
  const std::string dest = "/home/jos\xC3\xA9/a \"b\"\\c\td";
  ASSERT_TRUE(store.Save(kId, Record(dest)));
  EXPECT_FALSE(store.Save(kId, Record("/other")));

  TransferManifest read;
  ASSERT_TRUE(store.Load(kId, read));
  EXPECT_EQ(read.params.destPath, dest);
  EXPECT_EQ(read.params.versionId, "?");
  EXPECT_EQ(read.params.partnerId, "P");

  std::ifstream in(RecordPath());
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text,
            "{\"transferId\":\"0123456789abcdef0123456789abcdef\",\"partnerId\":\"P\",\"packageId\":\"K\","
            "\"versionId\":\"?\",\"destPath\":\"/home/jos\xC3\xA9/a \\\"b\\\"\\\\c\\u0009d\"}\n");
  struct stat info {};
  ASSERT_EQ(::stat(RecordPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(Folder().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(std::distance(fs::directory_iterator(Folder()), fs::directory_iterator()), 1);

  EXPECT_TRUE(store.Erase(kId));
  EXPECT_FALSE(fs::exists(dir.path() / "Co"));
  EXPECT_TRUE(fs::exists(dir.path()));
}

TEST_F(RecordStoreTest, AnythingButAnExactRecordIsNoRecordAndIsLeftAlone) {
  const std::string good =
      "{\"transferId\":\"0123456789abcdef0123456789abcdef\",\"partnerId\":\"P\",\"packageId\":\"K\","
      "\"versionId\":\"V\",\"destPath\":\"/d\"}";
  ASSERT_TRUE(store.Save(kId, Record("/d")));  // creates the folder
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"truncated", good.substr(0, good.size() - 9)},
      {"missing member", "{\"transferId\":\"" + std::string(kId) + "\",\"partnerId\":\"P\",\"packageId\":\"K\",\"versionId\":\"V\"}"},
      {"object member", "{\"transferId\":\"" + std::string(kId) + "\",\"partnerId\":{},\"packageId\":\"K\",\"versionId\":\"V\",\"destPath\":\"/d\"}"},
      {"number member", "{\"transferId\":\"" + std::string(kId) + "\",\"partnerId\":7,\"packageId\":\"K\",\"versionId\":\"V\",\"destPath\":\"/d\"}"},
      {"other identifier", "{\"transferId\":\"ffffffffffffffffffffffffffffffff\",\"partnerId\":\"P\",\"packageId\":\"K\",\"versionId\":\"V\",\"destPath\":\"/d\"}"},
      {"relative destination", "{\"transferId\":\"" + std::string(kId) + "\",\"partnerId\":\"P\",\"packageId\":\"K\",\"versionId\":\"V\",\"destPath\":\"d\"}"},
      {"empty destination", "{\"transferId\":\"" + std::string(kId) + "\",\"partnerId\":\"P\",\"packageId\":\"K\",\"versionId\":\"V\",\"destPath\":\"\"}"},
      {"repeated member", good.substr(0, good.size() - 1) + ",\"destPath\":\"/e\"}"},
      {"trailing text", good + "x"},
      {"oversized", good + std::string(TempFileManifestStore::kMaxRecordBytes, ' ')},
  };
  for (const auto& c : cases) {
    fs::remove(RecordPath());
    std::ofstream(RecordPath()) << c.text;
    TransferManifest read;
    EXPECT_FALSE(store.Load(kId, read)) << c.name;
    EXPECT_TRUE(fs::exists(RecordPath())) << c.name;
  }

  // The same text through a link or as a FIFO (which must not block the reader).
  fs::remove(RecordPath());
  std::ofstream(dir.path() / "elsewhere.json") << good;
  fs::create_symlink(dir.path() / "elsewhere.json", RecordPath());
  TransferManifest read;
  EXPECT_FALSE(store.Load(kId, read));
  fs::remove(RecordPath());
  ASSERT_EQ(::mkfifo(RecordPath().c_str(), 0600), 0);
  EXPECT_FALSE(store.Load(kId, read));
  EXPECT_FALSE(store.Save(kId, Record("/d")));  // the name is taken: kept
  EXPECT_EQ(fs::status(RecordPath()).type(), fs::file_type::fifo);
}

TEST_F(RecordStoreTest, IdentifiersThatAreNotRecordNamesTouchNothing) {
  const fs::path victim = dir.path() / "x.json";
  std::ofstream(victim) << "{}";
  for (const std::string id : {"../../x", "../x", "", "0123456789ABCDEF0123456789ABCDEF", "0123456789abcdef0123456789abcde",
                               "0123456789abcdef0123456789abcdef0"}) {
    TransferManifest read;
    EXPECT_FALSE(store.Load(id, read)) << id;
    EXPECT_FALSE(store.Erase(id)) << id;
    EXPECT_FALSE(store.Save(id, Record("/d"))) << id;
  }
  EXPECT_TRUE(fs::exists(victim));
  EXPECT_FALSE(fs::exists(dir.path() / "Co"));
}

TEST(RecordJson, AcceptsAnyValidObjectOfStringsAndDecodesEscapes) {
  const auto tree = ReadRecordJson(" {\n \"a\" : \"\\u00e9\\ud83d\\ude00\\/\\n\" , \"b\":\"\"}\r\n");
  ASSERT_TRUE(tree);
  EXPECT_EQ(tree->get<std::string>("a"), "\xC3\xA9\xF0\x9F\x98\x80/\n");
  EXPECT_EQ(tree->get<std::string>("b"), "");
  for (const char* bad : {"", "[]", "{\"a\":[]}", "{\"a\":\"\\ud83d\"}", "{\"a\":\"\\x\"}", "{\"a\":\"\n\"}",
                          "{\"a\":\"b\",}", "{\"a\":null}", "{} {}"}) {
    EXPECT_FALSE(ReadRecordJson(bad)) << bad;
  }
}

}  // namespace
}  // namespace ombrix
