// The shared signature header: MD5 against the standard's test suite, and the
// signature recipe against digests computed independently.
#include "service/service_identity.h"

#include <gtest/gtest.h>

namespace {

TEST(Md5Test, MatchesTheStandardTestSuite) {
  struct Case {
    std::string input;
    const char* digest;
  };
  const Case cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      // Lengths around the padding boundary.
      {std::string(55, 'x'), "04364420e25c512fd958a70738aa8f72"},
      {std::string(56, 'x'), "668a72d5ba17f08e62dabcafad6db14b"},
      {std::string(64, 'x'), "c1bb4f81d892b2d57947682aeb252456"},
  };
  for (const Case& c : cases) EXPECT_EQ(service::Md5Hex(c.input), c.digest) << c.input.size();
}

TEST(ServiceIdentityTest, SignsIdentityProviderAndApplication) {
  EXPECT_EQ(service::kApplicationId.size(), 10u);
  EXPECT_EQ(service::kApplicationSecret.size(), 32u);
  EXPECT_EQ(service::SignatureText("a", "email"),
            "a$email$" + std::string(service::kApplicationId) + "$" +
                std::string(service::kApplicationSecret));
  EXPECT_EQ(service::Signature("ann@example.com", "email"), "8d8d33235b60b87ae5d7c39e03c4cfb8");
  EXPECT_EQ(service::Signature("E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "app"),
            "8bd4bb452ae939262cf405bc9775d0c6");
  // UTF-8 bytes are digested as they are.
  EXPECT_EQ(service::Signature("\xE5\xBC\xA0\xE4\xBC\x9F@example.com", "email"),
            "612e9d53c4d225a113172290aa4ec93f");
}

}  // namespace
