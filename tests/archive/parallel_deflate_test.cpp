#include "archive/parallel_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

namespace pelvar::archive {
namespace {

// Text with matches that reach back across the pieces, and noise.
std::string Sample(size_t n) {
  std::mt19937 gen(9);
  std::string s;
  while (s.size() < n) {
    if (gen() % 4 == 0) {
      s += static_cast<char>(gen());
    } else {
      s += "word" + std::to_string(gen() % 5000) + " ";
    }
  }
  s.resize(n);
  return s;
}

std::string Deflate(std::string_view input, int level, size_t feed) {
  std::string out;
  ParallelDeflater d(level, [&out](std::string_view piece) {
    out.append(piece);
    return true;
  });
  while (!input.empty()) {
    const size_t n = std::min(feed, input.size());
    EXPECT_TRUE(d.Add(input.substr(0, n)));
    input.remove_prefix(n);
  }
  EXPECT_TRUE(d.Finish());
  return out;
}

// zlib's inflate over the whole stream, which checks its header and its
// check value.
std::string Inflate(const std::string& stream, size_t size) {
  std::string out(size + 1, '\0');
  uLongf got = static_cast<uLongf>(out.size());
  EXPECT_EQ(
      uncompress(reinterpret_cast<Bytef*>(out.data()), &got,
                 reinterpret_cast<const Bytef*>(stream.data()), static_cast<uLong>(stream.size())),
      Z_OK);
  out.resize(got);
  return out;
}

TEST(ParallelDeflateTest, GivesOneZlibStreamOfTheInput) {
  for (const size_t size : {size_t{0}, size_t{1}, size_t{1} << 20, (size_t{7} << 20) / 2}) {
    const std::string input = Sample(size);
    for (const int level : {0, 1, 6, 9, Z_DEFAULT_COMPRESSION}) {
      const std::string stream = Deflate(input, level, 300001);
      EXPECT_TRUE(Inflate(stream, size) == input) << size << " at level " << level;
      // The header zlib itself writes for the level.
      std::string own(compressBound(1), '\0');
      uLongf own_size = static_cast<uLongf>(own.size());
      ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(own.data()), &own_size,
                          reinterpret_cast<const Bytef*>("x"), 1, level),
                Z_OK);
      EXPECT_EQ(stream.substr(0, 2), own.substr(0, 2)) << level;
    }
  }
  // A piece reaches back into the one before: copies of a block of noise
  // across the first piece's end cost what they cost in one stream.
  std::mt19937 gen(4);
  std::string noise(20000, '\0');
  for (auto& c : noise) c = static_cast<char>(gen());
  std::string copies;
  while (copies.size() < (5u << 18)) copies += noise;
  std::string one(compressBound(static_cast<uLong>(copies.size())), '\0');
  uLongf one_size = static_cast<uLongf>(one.size());
  ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(one.data()), &one_size,
                      reinterpret_cast<const Bytef*>(copies.data()),
                      static_cast<uLong>(copies.size()), 6),
            Z_OK);
  EXPECT_LT(Deflate(copies, 6, 1 << 16).size(), one_size + 1024);
}

TEST(ParallelDeflateTest, AFailingSinkStopsIt) {
  int calls = 0;
  ParallelDeflater d(6, [&calls](std::string_view) { return ++calls < 2; });
  const std::string input = Sample(12u << 20);
  bool ok = true;
  for (size_t at = 0; ok && at < input.size(); at += 1 << 20) {
    ok = d.Add(std::string_view(input).substr(at, 1 << 20));
  }
  EXPECT_FALSE(ok && d.Finish());
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(d.error(), "");
}

}  // namespace
}  // namespace pelvar::archive
