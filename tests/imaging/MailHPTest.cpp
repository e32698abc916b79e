#include "imaging/MailHP.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <thread>

#include "tests/support/TempFolder.h"

namespace {

// A fake opener, first on PATH, that records each address it gets in a file of its own.
class FakeOpener {
 public:
  FakeOpener() {
    WriteBytes(dir / "xdg-open",
               "#!/bin/sh\n"
               "d=\"$(dirname \"$0\")\"\n"
               "printf '%s' \"$1\" > \"$d/tmp.$$\" && mv \"$d/tmp.$$\" \"$d/got.$$\"\n");
    ::chmod((dir / "xdg-open").c_str(), 0755);
    const char* old = std::getenv("PATH");
    FOldPath = old ? old : "";
    ::setenv("PATH", (dir.Path() + ":" + FOldPath).c_str(), 1);
  }
  ~FakeOpener() { ::setenv("PATH", FOldPath.c_str(), 1); }
  // Leaves no opener on PATH (not even the system's), so that nothing can be opened.
  void Remove() {
    std::filesystem::remove(dir / "xdg-open");
    ::setenv("PATH", dir.Path().c_str(), 1);
  }

  // The next recorded address, waiting for it with a generous cap.
  std::string Next() {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < until) {
      for (auto& e : std::filesystem::directory_iterator(dir.Path())) {
        if (e.path().filename().string().rfind("got.", 0) == 0) {
          std::string got = ReadBytes(e.path().string());
          std::filesystem::remove(e.path());
          return got;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return "<nothing opened>";
  }

  TempFolder dir;

 private:
  std::string FOldPath;
};

}  // namespace

TEST(TMailAndHP, AComponentWithoutResourceOpensTheBareSchemes) {
  FakeOpener opener;
  TComponent owner(nullptr);
  auto* link = new TMailAndHP(&owner);  // owned and freed by owner
  EXPECT_EQ(link->MailAddress, "");
  EXPECT_EQ(link->HomePageAddress, "http://");
  EXPECT_FALSE(link->Succeeded);

  link->SendMail();
  EXPECT_TRUE(link->Succeeded);
  EXPECT_EQ(opener.Next(), "mailto:");
  link->OpenHomePage();
  EXPECT_EQ(opener.Next(), "http://");
}

TEST(TMailAndHP, AddressesGoUnchangedAndSucceededFollowsTheLastRequest) {
  FakeOpener opener;
  TMailAndHP link(nullptr);
  link.MailAddress = "vornel@example.org";
  link.HomePageAddress = "https://example.org/vornel/?a=1&b= c";
  link.SendMail();
  EXPECT_EQ(opener.Next(), "mailto:vornel@example.org");
  EXPECT_TRUE(link.Succeeded);

  opener.Remove();
  link.OpenHomePage();
  EXPECT_FALSE(link.Succeeded);  // success then failure leaves false
  EXPECT_EQ(link.MailAddress, "vornel@example.org");
  EXPECT_EQ(link.HomePageAddress, "https://example.org/vornel/?a=1&b= c");
}

TEST(TMailAndHP, ReadsItsTwoPublishedAddressesFromAResource) {
  TComponent root(nullptr);
  TReader::ReadRootComponent("MailHPTest",
                             "object Root: TComponent\n"
                             "  object MailAndHP1: TMailAndHP\n"
                             "    MailAddress = 'vornel@example.org'\n"
                             "    HomePageAddress = 'https://example.org/vornel/'\n"
                             "  end\n"
                             "end\n",
                             &root);
  auto* link = dynamic_cast<TMailAndHP*>(root.FindComponent("MailAndHP1"));
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->MailAddress, "vornel@example.org");
  EXPECT_EQ(link->HomePageAddress, "https://example.org/vornel/");
  EXPECT_FALSE(link->Succeeded);
}
