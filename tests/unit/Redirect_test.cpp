#include <gtest/gtest.h>

#include "platform/Http.h"

TEST(MayFollowRedirect, OnlyToWebAddressesAndNeverDownToPlain) {
  // From, to: the first three may be followed, the rest not.
  const std::vector<std::pair<const char*, const char*>> cases{
      {"http://a/x", "http://b/y"},  {"http://a/x", "HTTPS://b/y"}, {"https://a/x", "https://b/y"},
      {"HTTPS://a/x", "Http://a/x"}, {"http://a/x", "ftp://a/x"},   {"http://a/x", "file:///x"},
      {"https://a/x", ""},           {"http://a/x", "httpx://a/x"}};
  for (size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(korvath::platform::MayFollowRedirect(cases[i].first, cases[i].second), i < 3) << i;
}
