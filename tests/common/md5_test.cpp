#include "common/md5.h"

#include <gtest/gtest.h>

#include <string>

namespace zq {
namespace {

// RFC 1321's own test suite, fed whole and in uneven pieces (the pieces
// cross the 64-byte blocks and the 56-byte padding boundary).
TEST(Md5, DigestsOfTheReferenceSuite) {
  const std::pair<std::string, std::string> suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [text, expected] : suite) {
    md5 whole;
    whole.update(text);
    EXPECT_EQ(whole.hex_digest(), expected) << '"' << text << '"';
    for (std::size_t piece : {1, 7, 55, 63}) {
      md5 pieces;
      for (std::size_t at = 0; at < text.size(); at += piece) {
        pieces.update(std::string_view(text).substr(at, piece));
      }
      EXPECT_EQ(pieces.hex_digest(), expected) << '"' << text << "\" in pieces of " << piece;
    }
  }
}

TEST(Md5, AskingForTheDigestLeavesTheSumGoingOn) {
  md5 sum;
  sum.update("message ");
  (void)sum.hex_digest();
  sum.update("digest");
  EXPECT_EQ(sum.hex_digest(), "f96b697d7cb7938d525a2f31aaf161d0");
  // 56 bytes and more need a second block for the length.
  md5 long_text;
  long_text.update(std::string(56, 'x'));
  EXPECT_EQ(long_text.hex_digest(), "668a72d5ba17f08e62dabcafad6db14b");
}

}  // namespace
}  // namespace zq
