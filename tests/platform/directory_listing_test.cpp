// The cheap ASCII keys order texts exactly as the collator's keys do.
#include "platform/directory_listing.h"

#include <gtest/gtest.h>

#include <random>

namespace pelvar::platform {
namespace {

int Sign(int v) {
  return v < 0 ? -1 : v > 0 ? 1 : 0;
}

TEST(PathCollatorTest, AsciiKeysOrderAsTheCollatorDoes) {
  const PathCollator collator;
  std::mt19937 gen(7);
  // Letters of both cases, digits, blanks and the punctuation names use.
  const std::string alphabet = "aAbBzZ019 -_.~!#$%&'()+,;=@[]^`{}xX";
  std::string ka;
  std::string kb;
  for (int i = 0; i < 20000; ++i) {
    std::string a;
    std::string b;
    for (size_t n = gen() % 6; n > 0; --n) a += alphabet[gen() % alphabet.size()];
    // Often a shared stem, so that late characters decide.
    b = gen() % 2 != 0 ? a.substr(0, gen() % (a.size() + 1)) : std::string();
    for (size_t n = gen() % 6; n > 0; --n) b += alphabet[gen() % alphabet.size()];
    ASSERT_TRUE(collator.AsciiKey(a, ka));
    ASSERT_TRUE(collator.AsciiKey(b, kb));
    ASSERT_EQ(Sign(ka.compare(kb)), Sign(collator.SortKey(a).compare(collator.SortKey(b))))
        << "\"" << a << "\" \"" << b << "\"";
  }
  std::string key = "kept";
  EXPECT_FALSE(collator.AsciiKey("caf\xC3\xA9", key));
  EXPECT_FALSE(collator.AsciiKey("tab\there", key));
  EXPECT_EQ(key, "kept");
  ASSERT_TRUE(collator.AsciiKey("Readme.TXT", ka));
  ASSERT_TRUE(collator.AsciiKey("readme.txt", kb));
  EXPECT_EQ(ka, kb);
}

}  // namespace
}  // namespace pelvar::platform
