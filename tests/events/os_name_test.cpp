#include "events/os_name.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace ombrix {
namespace {

struct WindowsCase {
  unsigned major, minor, servicePack;
  const char* name;
};

TEST(OsName, NamesWindowsVersionsByTheTable) {
  const WindowsCase cases[] = {
      {6, 1, 0, "Windows 7 SP0"},       {6, 3, 0, "Windows 8.1"},
      {5, 1, 3, "Windows XP SP3"},      {0, 0, 0, "Windows Unsupported Unknown"},
      {5, 0, 4, "Windows 2000"},        {5, 2, 0, "Windows 2003"},
      {5, 3, 0, "Windows Unknown"},     {6, 0, 2, "Windows Vista SP2"},
      {6, 2, 0, "Windows 8"},           {6, 4, 0, "Windows Unknown"},
      {10, 0, 0, "Windows 10"},         {7, 0, 0, "Windows Unknown"},
      {6, 1, 12, "Windows 7 SP12"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WindowsVersionName(c.major, c.minor, c.servicePack), c.name)
        << c.major << "." << c.minor << "." << c.servicePack;
  }
}

struct PrettyCase {
  std::string content;
  std::string pretty;
};

TEST(OsName, UnquotesPrettyNameLikeAShellAndStripsControlBytes) {
  const PrettyCase cases[] = {
      {"NAME=x\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n", "Debian GNU/Linux 12 (bookworm)"},
      {"PRETTY_NAME='It''s \\n raw'", "Its \\n raw"},
      {"PRETTY_NAME=\"say \\\"hi\\\" \\$HOME \\x\"", "say \"hi\" $HOME \\x"},
      {"PRETTY_NAME=Plain\\ Name # comment", "Plain Name"},
      {"  PRETTY_NAME=\"tab\tand\x1b[31mred\x7f\"", "taband[31mred"},
      {"PRETTY_NAME=first\nPRETTY_NAME=second", "second"},
      {"NAME=\"No pretty\"", ""},
      {"PRETTY_NAME=", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseOsReleasePrettyName(c.content), c.pretty) << c.content;
}

TEST(OsName, CapsPrettyNameAt128BytesWithoutSplittingACharacter) {
  // 127 ASCII bytes then a two-byte "é": the cut falls inside it, so it goes whole.
  const std::string name = std::string(127, 'a') + "\xC3\xA9" + "tail";
  EXPECT_EQ(ParseOsReleasePrettyName("PRETTY_NAME=\"" + name + "\""), std::string(127, 'a'));
  EXPECT_EQ(ParseOsReleasePrettyName("PRETTY_NAME=" + std::string(300, 'b')),
            std::string(128, 'b'));
}

TEST(OsName, ComposesFromEtcThenUsrLibAndTheKernelRelease) {
  test::TempDir root;
  EXPECT_EQ(LinuxOsName(root.path(), "6.1.0-9-amd64"), "Linux 6.1.0-9-amd64");
  EXPECT_EQ(LinuxOsName(root.path(), ""), "Linux");
  root.Write("usr/lib/os-release", "PRETTY_NAME=\"Lib Linux\"\n");
  EXPECT_EQ(LinuxOsName(root.path(), "6.1"), "Linux Lib Linux 6.1");
  root.Write("etc/os-release", "PRETTY_NAME=\"Etc Linux\"\n");
  EXPECT_EQ(LinuxOsName(root.path(), "6.1\n"), "Linux Etc Linux 6.1");
}

TEST(OsName, ProcessNameIsLinuxWithTheKernelRelease) {
  EXPECT_EQ(GetOsName().rfind("Linux", 0), 0u);
  EXPECT_EQ(&GetOsName(), &GetOsName());
}

}  // namespace
}  // namespace ombrix
