#include "platform/CommandLine.h"

#include <gtest/gtest.h>

#include "platform/Module.h"
#include "tests/support/TempFolder.h"

#include <spawn.h>
#include <sys/wait.h>

using Params = std::vector<std::string>;

TEST(CommandLine, ArgumentsAreTakenAsSplitWithoutEmptyOnes) {
  using namespace std::string_literals;
  EXPECT_EQ(SplitArgumentBlock("prog\0a b\0\0\"q\".jpg\0-\0"s), (Params{"a b", "\"q\".jpg", "-"}));
  EXPECT_EQ(SplitArgumentBlock("prog\0"s), Params{});
  EXPECT_EQ(SplitArgumentBlock(""s), Params{});
  EXPECT_EQ(SplitArgumentBlock("prog\0last"s), Params{"last"});  // no final null
}

// Run in a child process by the test below: reports the parameters it sees.
TEST(CommandLine, DISABLED_ReportToParent) {
  const char* out = std::getenv("VORNEL_PARAMS_OUT");
  ASSERT_NE(out, nullptr);
  std::string text;
  for (const std::string& p : CommandLineParams()) text += "[" + p + "]";
  WriteBytes(out, text);
}

TEST(CommandLine, TheProgramsOwnArgumentsAreTakenAsGiven) {
  TempFolder dir;
  std::string out = dir / "params";
  std::string self = ModuleFileName(), filter = "--gtest_filter=CommandLine.DISABLED_ReportToParent";
  std::string also = "--gtest_also_run_disabled_tests", blank = "a b.jpg", empty, quoted = "\"q\".jpg";
  char* argv[] = {self.data(), filter.data(), also.data(), blank.data(), empty.data(), quoted.data(), nullptr};
  std::string env = "VORNEL_PARAMS_OUT=" + out;
  char* envp[] = {env.data(), nullptr};
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadBytes(out), "[" + filter + "][" + also + "][a b.jpg][\"q\".jpg]");

  SetCommandLineParamsForTest({"", "x y", ""});
  EXPECT_EQ(CommandLineParams(), Params{"x y"});
  ResetCommandLineParamsForTest();
  EXPECT_NE(CommandLineParams(), Params{"x y"});
}

TEST(Module, TheProgramFileAndItsTestOverride) {
  std::string real = ModuleFileName();
  ASSERT_FALSE(real.empty());
  EXPECT_EQ(real.front(), '/');
  EXPECT_NE(real.find("test_platform"), std::string::npos);

  char buf[8];
  SetModuleFileNameForTest("/tmp/abcdefghij");
  EXPECT_EQ(GetModuleFileNameA(nullptr, buf, sizeof buf), 8u);  // cut, as the platform does
  EXPECT_STREQ(buf, "/tmp/ab");
  char big[64];
  EXPECT_EQ(GetModuleFileNameA(nullptr, big, sizeof big), 15u);
  EXPECT_STREQ(big, "/tmp/abcdefghij");
  SetModuleFileNameForTest("");
  EXPECT_EQ(ModuleFileName(), real);
}
