#include "server/crypto.h"

#include <gtest/gtest.h>

namespace server {
namespace {

TEST(CryptoTest, PasswordHashesAreSaltedAndVerify) {
  std::string first = HashPassword("correct horse");
  std::string second = HashPassword("correct horse");
  EXPECT_NE(first, second);  // a fresh salt each time
  EXPECT_TRUE(first.starts_with("pbkdf2-sha256$"));
  EXPECT_EQ(first.find("correct"), std::string::npos);
  EXPECT_TRUE(VerifyPassword("correct horse", first));
  EXPECT_TRUE(VerifyPassword("correct horse", second));
  EXPECT_FALSE(VerifyPassword("correct horsf", first));
  EXPECT_FALSE(VerifyPassword("", first));
  for (const char* broken : {"", "plain", "pbkdf2-sha256$0$00$00", "md5$1$00$00",
                             "pbkdf2-sha256$1000$zz$00"}) {
    EXPECT_FALSE(VerifyPassword("x", broken)) << broken;
  }
}

TEST(CryptoTest, RandomHexAndTokenDigest) {
  EXPECT_EQ(RandomHex(16).size(), 32u);
  EXPECT_NE(RandomHex(16), RandomHex(16));
  EXPECT_EQ(TokenDigest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace
}  // namespace server
