// Shared helpers of the library tests.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "internal.h"

// A new private folder under /tmp named from stem; empty, with the test failed and the system's
// reason given, when none can be made (a full /tmp).
inline std::string makeTempDir(const char *stem) {
  std::string t = std::string("/tmp/") + stem + "-XXXXXX";
  if (!mkdtemp(t.data())) {
    ADD_FAILURE() << "mkdtemp " << t << ": " << std::strerror(errno);
    return {};
  }
  return t;
}

// Starts the library with heap checking for every test and checks that nothing leaks.
class TavTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tavInit(TAV_SYS_HEAPCHECK | TAV_SYS_HEAPPRINT | TAV_SYS_HEAPLEAK);
    dir_ = makeTempDir("qeltav-test");
    ASSERT_FALSE(dir_.empty());  // the body does not run without its folder
  }
  void TearDown() override {
    linePoolFree();
    if (dir_.empty()) {  // the body did not run, and capturing output needs /tmp too
      tavTerminate(0);
      return;
    }
    ::testing::internal::CaptureStdout();
    tavTerminate(0);
    std::string out = ::testing::internal::GetCapturedStdout();
    if (checkLeaks_) {
      EXPECT_EQ(out.find("HEAP"), std::string::npos) << out;
    }
    (void)std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  std::string path(const std::string &name) const { return dir_ + "/" + name; }
  std::vector<int> log() const {
    std::vector<int> v;
    for (int i = 0; i < tavGetLogSize(); ++i) v.push_back(tavGetLog(i));
    return v;
  }
  bool logHas(int code) const {
    for (int c : log()) {
      if (c == code) return true;
    }
    return false;
  }
  std::string dir_;
  bool checkLeaks_ = true;
};

inline std::string readFile(const std::string &p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}
inline void writeFile(const std::string &p, const std::string &data) {
  std::ofstream f(p, std::ios::binary);
  f << data;
}

// Splits and runs a command form with the words of s.
template <class Fn> int runWords(Fn fn, const char *s, int flags, int *left = nullptr) {
  int argc = 0;
  char **argv = nullptr;
  if (tavCommandSplit(&argc, &argv, s, nullptr) != 0) return -2;
  int r = fn(argc, argv, left, flags);
  tavMemFree(argv);
  return r;
}

// Splits s and makes an image of its words with one of the library's create-from-words functions.
template <class Fn> tavImage *imageFromWords(Fn create, const std::string &s, int flags, tavImage *tmpl = nullptr) {
  int argc = 0;
  char **argv = nullptr;
  tavCommandSplit(&argc, &argv, s.c_str(), nullptr);
  int left = 0;
  tavImage *im = create(argc, argv, &left, flags, tmpl);
  tavMemFree(argv);
  return im;
}
// An input, an output and a mapping image made from words with the given creation bits.
inline tavImage *makeInput(const std::string &s, int flags = 0x30) {
  return imageFromWords(inputCreateFromOptions, s, flags);
}
inline tavImage *makeOutput(const std::string &s, tavImage *tmpl = nullptr, int flags = 0x30) {
  return imageFromWords([](int c, char **v, int *l, int f, tavImage *t) { return outputCreateFromOptions(c, v, l, f, t); },
                        s, flags, tmpl);
}
inline tavImage *makeMap(const std::string &s, int flags = 0x34) { return imageFromWords(mapcOptionsParse, s, flags); }

// Full command flags, as the driver uses them.
constexpr int kAll = 0x1 | 0x2 | 0x4 | 0x10 | 0x20 | 0x40 | 0x100 | 0x200 | 0x400 | 0x1000;
