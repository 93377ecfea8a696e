#include "events/json_work_log_manager.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <memory>
#include <sstream>
#include <string>

#include "common/environment.h"
#include "common/json_writer.h"
#include "events/os_name.h"
#include "file/posix/filesystem_impl.h"
#include "support/temp_dir.h"
#include "work/no_op_work.h"
#include "work/work_status_data.h"

namespace ombrix {
namespace {

namespace fs = std::filesystem;

// 2026-12-10 00:38:30 UTC.
const auto kFixedTime = std::chrono::system_clock::from_time_t(1796863110);
constexpr const char* kStamp = "[2026-12-10 00:38:30] ";
constexpr const char* kFileName = "Log.2026.12.10.00.38.30.txt";
constexpr const char* kLogsFolder = "Farrowgate/Ombrix/logs";

class WorkLogManagerTest : public testing::Test {
 protected:
  std::unique_ptr<JsonWorkLogManager> MakeManager(std::int32_t mask = -9, LogLimits limits = {}) {
    return std::make_unique<JsonWorkLogManager>(mask, kLogsFolder, filesystem, limits,
                                                [] { return kFixedTime; });
  }

  fs::path LogsPath() const { return temp.path() / kLogsFolder; }

  // Every file of the logs folder with its content.
  std::map<std::string, std::string> Files() const {
    std::map<std::string, std::string> files;
    if (!fs::exists(LogsPath())) return files;
    for (const auto& entry : fs::directory_iterator(LogsPath())) {
      std::ifstream in(entry.path());
      std::stringstream content;
      content << in.rdbuf();
      files[entry.path().filename().string()] = content.str();
    }
    return files;
  }

  static unsigned Permissions(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_mode & 07777;
  }

  test::TempDir temp;
  file::posix::FilesystemImpl filesystem{Environment({{"TMPDIR", temp.str()}})};
};

// Which occurrences reach the file is decided by the category bits and the mask.
TEST_F(WorkLogManagerTest, TheMaskSelectsCompletionsAndRetries) {
  struct Case {
    std::int32_t mask;
    bool marked;
    bool retry;
    WorkResult result;
    const char* expected;  // the line after the stamp, "" for none
  };
  const char* failed =
      "{\"event\":\"OnWorkComplete\",\"params\":{\"name\":\"NoOpWork\",\"workStatus\":"
      "{\"result\":\"4\",\"retry\":\"false\",\"data\":{\"errorMessage\":\"disk \\/ gone\"}}}}\n";
  const char* succeeded =
      "{\"event\":\"OnWorkComplete\",\"params\":{\"name\":\"NoOpWork\",\"workStatus\":"
      "{\"result\":\"0\",\"retry\":\"false\",\"data\":{\"errorMessage\":\"disk \\/ gone\"}}}}\n";
  const char* retried =
      "{\"event\":\"OnSimpleWorkRetry\",\"params\":{\"name\":\"NoOpWork\",\"workStatus\":"
      "{\"result\":\"3\",\"retry\":\"true\",\"data\":{\"errorMessage\":\"disk \\/ gone\"}}}}\n";
  const Case cases[] = {
      {-9, false, false, WorkResult::Success, ""},
      {-9, false, false, WorkResult::Error, failed},
      {-9, true, false, WorkResult::Success, succeeded},  // category 24
      {-9, false, true, WorkResult::RetryableError, retried},
      {8, false, false, WorkResult::Success, succeeded},
      {1, true, false, WorkResult::Error, ""},
      {1, false, true, WorkResult::RetryableError, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mask " << c.mask << " marked " << c.marked << " retry "
                                    << c.retry << " result " << static_cast<int>(c.result));
    fs::remove_all(temp.path() / "Farrowgate");
    {
      auto manager = MakeManager(c.mask);
      auto work = NoOpWork::Create();
      WorkStatus status(c.result, std::make_shared<WorkErrorData>("disk / gone"));
      if (c.retry) {
        status.retry = true;
        manager->GetRetryCallback(c.marked)->OnSimpleWorkRetry(work, status);
      } else {
        manager->GetWorkCompleteCallback(c.marked)->OnWorkComplete(work, status);
      }
    }  // destruction writes what was queued
    const auto files = Files();
    if (*c.expected == '\0') {
      EXPECT_TRUE(files.empty());
    } else {
      ASSERT_EQ(files.size(), 1u);
      EXPECT_EQ(files.begin()->second, std::string(kStamp) + c.expected);
    }
  }
}

TEST_F(WorkLogManagerTest, MaskZeroCreatesNoFileAtAll) {
  {
    auto manager = MakeManager(0);
    LogServiceInitialize(*manager);
    manager->GetWorkCompleteCallback(true)->OnWorkComplete(NoOpWork::Create(),
                                                          WorkStatus(WorkResult::Error));
  }
  EXPECT_FALSE(fs::exists(temp.path() / "Farrowgate"));
}

// Two runs in the same second: the stamped name, then the same name with ".1";
// the folder is private and so are the files.
TEST_F(WorkLogManagerTest, ATakenNameGetsANumberAndTheFilesArePrivate) {
  for (int run = 0; run < 2; ++run) {
    auto manager = MakeManager();
    LogServiceInitialize(*manager);
  }
  const std::string line = std::string(kStamp) +
                           "{\"event\":\"ServiceInitialize\",\"ombrixVersion\":\"1.3.5\","
                           "\"osVersion\":" + [] {
                             std::string quoted;
                             AppendJsonString(GetOsName(), quoted);
                             return quoted;
                           }() + "}\n";
  const auto files = Files();
  EXPECT_EQ(files, (std::map<std::string, std::string>{{kFileName, line},
                                                       {std::string(kFileName) + ".1", line}}));
  EXPECT_EQ(Permissions(LogsPath()), 0700u);
  EXPECT_EQ(Permissions(LogsPath() / kFileName), 0600u);
}

// Only the newest files of the log pattern are kept (numbers ordered as numbers);
// other files are never touched. A folder whose names are all taken gives up.
TEST_F(WorkLogManagerTest, OldLogsArePrunedAndTheNameSearchIsBounded) {
  fs::create_directories(LogsPath());
  for (const char* name : {"Log.2026.12.09.23.59.59.txt", "Log.2026.12.10.00.00.00.txt.2",
                           "Log.2026.12.10.00.00.00.txt.10"}) {
    std::ofstream(LogsPath() / name) << "old";
  }
  std::ofstream(LogsPath() / "Log.notes.txt") << "mine";
  fs::create_directory(LogsPath() / "Log.2000.01.01.00.00.00.txt");  // not a regular file
  {
    auto manager = MakeManager(-9, LogLimits{2, 1 << 20, 100});
    LogServiceInitialize(*manager);
  }
  auto files = Files();
  std::set<std::string> names;
  for (const auto& [name, content] : files) names.insert(name);
  EXPECT_EQ(names, (std::set<std::string>{"Log.notes.txt", "Log.2000.01.01.00.00.00.txt",
                                          "Log.2026.12.10.00.00.00.txt.10", kFileName}));

  // Every name up to the attempt limit is taken: the entry is lost, nothing else.
  std::ofstream(LogsPath() / (std::string(kFileName) + ".1")) << "taken";
  files = Files();
  {
    auto manager = MakeManager(-9, LogLimits{100, 1 << 20, 2});
    LogServiceInitialize(*manager);
  }
  EXPECT_EQ(Files(), files);
}

// A file is not written past its cap: the line that would cross it and every
// later one are dropped, whole.
TEST_F(WorkLogManagerTest, AFileStopsGrowingAtItsCap) {
  {
    auto manager = MakeManager(-9, LogLimits{20, 300, 100});
    for (int i = 0; i < 10; ++i) {
      auto entry = manager->CreateWork(1);
      entry->GetDocument().put("event", std::string(40, 'a' + i));
      manager->Submit(entry);
    }
  }
  const auto files = Files();
  ASSERT_EQ(files.size(), 1u);
  const std::string& content = files.begin()->second;
  const std::size_t lineLength = std::string(kStamp).size() + 53;  // {"event":"<40>"}\n
  EXPECT_EQ(lineLength, 75u);
  EXPECT_EQ(content.size(), 300u);  // four lines fill the cap exactly; the fifth is dropped
  EXPECT_EQ(content.back(), '\n');
}

// Without a known temporary folder nothing is written anywhere, in particular not
// below the working folder; a logs folder that cannot be created loses the entry.
TEST_F(WorkLogManagerTest, NoUsableFolderLosesTheEntriesQuietly) {
  file::posix::FilesystemImpl noTemp{Environment{}};
  ASSERT_EQ(noTemp.GetTempPath(), "");
  {
    JsonWorkLogManager manager(-1, kLogsFolder, noTemp);
    LogServiceInitialize(manager);
  }
  EXPECT_FALSE(fs::exists(fs::current_path() / "Farrowgate"));

  temp.Write("Farrowgate/Ombrix", "a file where the folder should be");
  {
    auto manager = MakeManager(-1);
    LogServiceInitialize(*manager);
  }
  EXPECT_TRUE(fs::is_regular_file(temp.path() / "Farrowgate/Ombrix"));
}

}  // namespace
}  // namespace ombrix
