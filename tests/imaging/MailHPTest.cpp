#include "imaging/MailHP.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/FakeOpener.h"

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
