// Pages larger than a file stream's buffer: every byte survives the buffer's refills and
// flushes, in the binary and the plain variants and in raw files read twice.
#include "support.h"

using FilesLarge = TavTest;

namespace {
int copy(const std::string &words) { return tavCopy(words.c_str(), kAll); }
}  // namespace

TEST_F(FilesLarge, PagesBeyondTheStreamBufferRoundTrip) {
  struct {
    const char *depth, *ext, *header;
    size_t lineBytes;
  } kinds[] = {{"-d 24", "ppm", "P6\n1031 611\n255\n", 1031 * 3},
               {"-d 8", "pgm", "P5\n1031 611\n255\n", 1031},
               {"-d 1", "pbm", "P4\n1031 611\n", (1031 + 7) / 8}};
  for (const auto &k : kinds) {
    const std::string a = path(std::string("a.") + k.ext), b = path(std::string("b.") + k.ext),
                      plain = path(std::string("p.") + k.ext), back = path(std::string("c.") + k.ext);
    ASSERT_EQ(copy(std::string("g -random -w 1031 -h 611 ") + k.depth + " " + a), 0) << k.ext;
    const std::string first = readFile(a);
    const std::string header = k.header;
    ASSERT_EQ(first.size(), header.size() + 611 * k.lineBytes) << k.ext;
    EXPECT_EQ(first.compare(0, header.size(), header), 0) << k.ext;
    // binary to binary, binary to plain and back
    ASSERT_EQ(copy(a + " " + b), 0) << k.ext;
    EXPECT_TRUE(readFile(b) == first) << k.ext << ": binary copy differs";
    ASSERT_EQ(copy(a + " " + plain + " -normal"), 0) << k.ext;
    ASSERT_EQ(copy(plain + " " + back), 0) << k.ext;
    EXPECT_TRUE(readFile(back) == first) << k.ext << ": plain round trip differs";
  }
}

TEST_F(FilesLarge, LargeRawFileReadTwiceFromItsOffset) {
  const std::string raw = path("page.raw"), out1 = path("one.pgm"), out2 = path("two.pgm");
  std::string data(0x200, '\x5A');
  for (size_t i = 0; i < 700u * 500u; ++i) data.push_back(static_cast<char>((i * 7 + i / 700) & 0xFF));
  writeFile(raw, data);
  ASSERT_EQ(copy(raw + " -w 700 -h 500 -d 8 -offset 0x200 " + out1), 0);
  ASSERT_EQ(copy(raw + " -w 700 -h 500 -d 8 -offset 0x200 " + out2), 0);
  const std::string one = readFile(out1);
  const std::string header = "P5\n700 500\n255\n";
  ASSERT_EQ(one.size(), header.size() + 700u * 500u);
  EXPECT_TRUE(one.compare(header.size(), std::string::npos, data, 0x200, std::string::npos) == 0);
  EXPECT_TRUE(readFile(out2) == one);
}
