// Image record: bytes per line, option words, negotiation, names and pixel data.
#include "support.h"

#include <cstring>

using Record = TavTest;

TEST_F(Record, LineBytes) {
  struct {
    int w, d, a, bytes;
  } cases[] = {{640, 1, 1, 80}, {641, 1, 1, 81}, {641, 1, 4, 84}, {10, 24, 4, 32}, {10, 32, 1, 40},
               {3, 16, 1, 6},   {5, 8, 0, 5},    {5, 8, -3, 5},   {0, 8, 1, -1},   {8, 33, 1, -1},
               {2000000000, 32, 1, -1}};
  for (const auto &c : cases) EXPECT_EQ(lineBytes(c.w, c.d, c.a), c.bytes) << c.w << " " << c.d << " " << c.a;
}

namespace {
// Applies option words one call at a time, as the callers' loops do; left is the count of words
// not taken.
int applyWords(tavImage *im, const char *s, int *left = nullptr) {
  int argc = 0;
  char **argv = nullptr;
  tavCommandSplit(&argc, &argv, s, nullptr);
  int i = 0, r = 0;
  while (i < argc) {
    int rest = 0;
    r = attrOptionsParse(argc - i, argv + i, &rest, 0, im);
    if (r != 0 || rest == argc - i) break;
    i = argc - rest;
  }
  tavMemFree(argv);
  if (left) *left = argc - i;
  return r;
}

// The attributes option words may change, with their states.
std::vector<double> attributes(const tavImage &im) {
  return {double(im.width.v),  double(im.width.st), double(im.width.req), double(im.height.v),
          double(im.depth.v),  double(im.fill.v),   double(im.sign.v),    double(im.photo.v),
          double(im.align.v),  double(im.resizable.v), im.resX.v,         im.resY.v,
          double(im.resUnit.v)};
}
}  // namespace

// Option words change exactly the attributes they name; a bad value fails with its code and an
// unknown word is left for the caller.
TEST_F(Record, OptionWords) {
  const struct {
    const char *words;
    int rc, left;
    std::vector<int> codes;
    void (*change)(tavImage &);
  } cases[] = {
      {"-w 0x10 -h 010 -d 24 -f 7 -s -rgb -a 4 -resize", 0, 0, {}, [](tavImage &e) {
         e.width = {16, ST_KNOWN | ST_EXPLICIT, 16};
         e.height.v = 8; e.depth.v = 24; e.fill.v = 7; e.sign.v = 1; e.photo.v = 5; e.align.v = 4; e.resizable.v = 1;
       }},
      {"-r 300", 0, 0, {}, [](tavImage &e) { e.resX.v = e.resY.v = 300; e.resUnit.v = 2; }},
      {"-rcm -r 300", 0, 0, {}, [](tavImage &e) { e.resX.v = e.resY.v = 300; e.resUnit.v = 3; }},
      {"-r 300 -rno", 0, 0, {}, [](tavImage &e) { e.resX.v = e.resY.v = 300; e.resUnit.v = 0; }},
      {"-rx 200 -ry 100.5", 0, 0, {}, [](tavImage &e) { e.resX.v = 200; e.resY.v = 100.5; e.resUnit.v = 2; }},
      {"-b0", 0, 0, {}, [](tavImage &e) { e.photo.v = 3; }},
      {"-zz 5", 0, 2, {}, [](tavImage &) {}},
      {"-w", -1, 1, {912}, [](tavImage &) {}},
      {"-w abc", -1, 2, {912}, [](tavImage &) {}},
      {"-rx", -1, 1, {913}, [](tavImage &) {}},
      {"-r x", -1, 2, {913}, [](tavImage &) {}},
      {"-d 99999999999", -1, 2, {912}, [](tavImage &) {}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.words);
    tavImage im, want;
    imageRecordInit(&im);
    imageRecordInit(&want);
    c.change(want);
    tavLogReset();
    int left = -1;
    EXPECT_EQ(applyWords(&im, c.words, &left), c.rc);
    EXPECT_EQ(left, c.left);
    EXPECT_EQ(log(), c.codes);
    EXPECT_EQ(attributes(im), attributes(want));
  }
}

TEST_F(Record, FixedAttributeSkipsWordAndValue) {
  tavImage im;
  imageRecordInit(&im);
  im.width = {50, ST_KNOWN | ST_FIXED, 50};
  EXPECT_EQ(applyWords(&im, "-w 10 -h 5"), 0);
  EXPECT_EQ(im.width.v, 50);
  EXPECT_EQ(im.height.v, 5);
  EXPECT_EQ(log(), (std::vector<int>{914}));
  // a setter replaces the fixed bit
  tavSetWidth(&im, 60);
  EXPECT_EQ(im.width.v, 60);
  EXPECT_EQ(im.width.st, ST_KNOWN | ST_EXPLICIT);
}

TEST_F(Record, NegotiationPriority) {
  struct {
    uint8_t stA;
    int a;
    uint8_t stB;
    int b;
    int expect;
  } cases[] = {
      {ST_KNOWN, 100, ST_KNOWN | ST_EXPLICIT, 200, 200},
      {ST_KNOWN | ST_EXPLICIT, 200, ST_KNOWN, 100, 200},
      {ST_KNOWN, 100, ST_KNOWN, 300, 100},
      {0, 100, ST_KNOWN, 300, 300},
      {ST_KNOWN | ST_EXPLICIT, 1, ST_KNOWN | ST_FIXED, 2, 2},
      {ST_KNOWN | ST_FIXED, 3, ST_KNOWN | ST_FIXED, 4, 3},
      {0, 5, 0, 6, 5},
  };
  for (const auto &c : cases) {
    tavImage a, b;
    imageRecordInit(&a);
    imageRecordInit(&b);
    a.width = {c.a, c.stA, c.a};
    b.width = {c.b, c.stB, c.b};
    attrNegotiate(&a, &b, &b);  // out may be b
    EXPECT_EQ(b.width.v, c.expect);
  }
}

TEST_F(Record, PropagationAndRestore) {
  tavImage src, dst;
  imageRecordInit(&src);
  imageRecordInit(&dst);
  attrStore(src.width, 10);
  attrStore(src.height, 20);
  attrStore(src.dataSize, 99);
  attrStore(dst.height, 5);
  attrPropagate(&src, &dst);
  EXPECT_EQ(dst.width.v, 10);
  EXPECT_EQ(dst.width.st, ST_KNOWN);
  EXPECT_EQ(dst.height.v, 5);  // explicit stays
  EXPECT_EQ(dst.dataSize.st, 0);  // never propagated
  dst.height.v = 77;
  attrRestoreRequested(&dst);
  EXPECT_EQ(dst.height.v, 5);
  EXPECT_EQ(attrPropagate(nullptr, &dst), 0);
}

TEST_F(Record, FillAsStored) {
  struct {
    int photo, depth, fill, stored;
  } cases[] = {{4, 1, 0, 1}, {4, 1, 3, 0}, {4, 8, 10, 245}, {4, 16, 1, 65534}, {4, 32, 0, -1},
               {4, 24, 9, 9}, {3, 8, 10, 10}, {1, 1, 0, 0}};
  for (const auto &c : cases) {
    tavImage im;
    imageRecordInit(&im);
    im.photo.v = c.photo;
    im.depth.v = c.depth;
    im.fill.v = c.fill;
    EXPECT_EQ(fillPixelValue(&im), c.stored) << c.photo << " " << c.depth;
  }
}

TEST_F(Record, Names) {
  EXPECT_FALSE(nameIsValid(""));
  EXPECT_FALSE(nameIsValid("-a"));
  EXPECT_FALSE(nameIsValid(" a"));
  EXPECT_FALSE(nameIsValid(std::string(1024, 'a').c_str()));
  EXPECT_TRUE(nameIsValid(std::string(1023, 'a').c_str()));
  EXPECT_TRUE(nameIsValid("/tmp/x"));
  EXPECT_TRUE(nameIsValid("_x"));
  EXPECT_TRUE(nameIsValid("\\x"));

  tavImage base, s1, s2, lone;
  imageRecordInit(&base);
  imageRecordInit(&s1);
  imageRecordInit(&s2);
  imageRecordInit(&lone);
  s1.up[0] = &base;
  s2.up[0] = &base;
  EXPECT_EQ(imageSetName(&s1, nullptr), 0);
  EXPECT_EQ(imageSetName(&s2, ""), 0);
  EXPECT_STREQ(s1.name, ".I1");
  EXPECT_STREQ(s2.name, ".I2");
  EXPECT_EQ(imageSetName(&lone, nullptr), 0);
  EXPECT_EQ(lone.name, nullptr);
  imageSetName(&base, "page");
  tavImage s3;
  imageRecordInit(&s3);
  s3.up[0] = &base;
  imageSetName(&s3, nullptr);
  EXPECT_STREQ(s3.name, "page");
  imageSetName(&s3, "other");
  EXPECT_STREQ(s3.name, "other");
  for (tavImage *im : {&s1, &s2, &s3, &base}) tavMemFree(im->name);
  EXPECT_STREQ(tavPhotoOptionName(4), "-w0");
  EXPECT_STREQ(tavPhotoOptionName(1), "");
  EXPECT_STREQ(tavPhotoOptionName(2), "");
}

TEST_F(Record, PixelDataAllocation) {
  tavImage im;
  imageRecordInit(&im);
  ASSERT_EQ(imageDataAlloc(&im, 100), 0);
  void *first = im.dataAddr.v;
  EXPECT_EQ(im.alloc, 1);
  EXPECT_EQ(imageDataAlloc(&im, 50), 0);  // large enough already
  EXPECT_EQ(im.dataAddr.v, first);
  ASSERT_EQ(imageDataAlloc(&im, 200), 0);
  EXPECT_EQ(im.dataSize.v, 200);
  tavMemFree(im.dataAddr.v);

  // caller-supplied memory
  tavImage c;
  imageRecordInit(&c);
  unsigned char mem[16];
  tavSetDataAddr(&c, mem);
  tavSetDataSize(&c, 16);
  EXPECT_EQ(imageDataAlloc(&c, 16), 0);
  EXPECT_EQ(imageDataAlloc(&c, 17), -1);
  tavSetDataAddr(&c, nullptr);
  EXPECT_EQ(imageDataAlloc(&c, 8), -1);
  tavImage s;
  imageRecordInit(&s);
  tavSetDataSize(&s, 8);
  EXPECT_EQ(imageDataAlloc(&s, 9), -1);
  EXPECT_EQ(log(), (std::vector<int>{453, 461, 465}));
  // impossible sizes fail instead of wrapping
  tavImage big;
  imageRecordInit(&big);
  attrStore(big.width, 100000);
  attrStore(big.height, 100000);
  attrStore(big.depth, 32);
  EXPECT_EQ(imageDataAllocAll(&big), -1);
  EXPECT_TRUE(logHas(425));
}
