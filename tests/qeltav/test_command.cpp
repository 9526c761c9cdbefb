// Command splitting and joining, system options, the interpreter and command files.
#include "support.h"

#include <cstring>
#include <unistd.h>

using Command = TavTest;

namespace {
std::vector<std::string> split(const char *s, int *result = nullptr, const char **rest = nullptr) {
  int argc = -1;
  char **argv = reinterpret_cast<char **>(1);
  int r = tavCommandSplit(&argc, &argv, s, rest);
  if (result) *result = r;
  std::vector<std::string> words;
  for (int i = 0; i < argc; ++i) words.emplace_back(argv[i]);
  if (argc > 0) {
    EXPECT_EQ(argv[argc], nullptr);  // the vector is terminated
  }
  tavMemFree(argv);
  return words;
}
using W = std::vector<std::string>;
}  // namespace

TEST_F(Command, Splitting) {
  struct {
    const char *in;
    W words;
    const char *rest;  // what follows the command
  } cases[] = {
      {"a  \t b\vc\fd\re", {"a", "b", "c", "d", "e"}, ""},
      {"a b; c d", {"a", "b"}, " c d"},
      {"a b\nc", {"a", "b"}, "c"},
      {"x 'p q;#r' \"s t;#u\"", {"x", "p q;#r", "s t;#u"}, ""},
      {"a # b ; c\nd", {"a"}, "d"},
      {"ab#cd", {"ab"}, ""},
      {"", {}, ""},
      {";", {}, ""},
      {"# only a comment", {}, ""},
      {"'' x", {"", "x"}, ""},
      {"\xC3\xA9t\xC3\xA9", {"\xC3\xA9t\xC3\xA9"}, ""},
      {"'a\"b' \"c'd\"", {"a\"b", "c'd"}, ""},
  };
  for (const auto &c : cases) {
    const char *rest = nullptr;
    int r = -1;
    EXPECT_EQ(split(c.in, &r, &rest), c.words) << c.in;
    EXPECT_EQ(r, 0);
    EXPECT_STREQ(rest, c.rest) << c.in;
  }
}

TEST_F(Command, SplittingFailures) {
  std::string hundred, more;
  for (int i = 0; i < 100; ++i) hundred += "w ";
  more = hundred + "x";
  int r = -1;
  EXPECT_EQ(split(hundred.c_str(), &r).size(), 100u);
  EXPECT_EQ(r, 0);
  EXPECT_TRUE(split(more.c_str(), &r).empty());
  EXPECT_EQ(r, -1);
  EXPECT_TRUE(split("a 'b", &r).empty());
  EXPECT_TRUE(split("a \"b", &r).empty());
  EXPECT_EQ(log(), (std::vector<int>{418, 438, 462}));
  EXPECT_EQ(tavCommandSplit(nullptr, nullptr, "a", nullptr), -1);
  EXPECT_TRUE(split(nullptr, &r).empty());
  EXPECT_EQ(r, 0);
}

// Joining: one space between words, double quotes round a word with white space, an empty word
// writes nothing, nothing else is escaped; it never fails.
TEST_F(Command, Join) {
  const std::pair<W, std::string> cases[] = {
      {{"first", "two words", ""}, "first \"two words\" "},
      {{"tab\there", "line\nend", "cr\rvt\vff\f"}, "\"tab\there\" \"line\nend\" \"cr\rvt\vff\f\""},
      {{"x;y", "#z", "a'b\"c"}, "x;y #z a'b\"c"},
      {{"", ""}, " "},
      {{}, ""},
  };
  for (const auto &[words, expected] : cases) {
    std::vector<char *> argv;
    for (const auto &w : words) argv.push_back(const_cast<char *>(w.c_str()));
    char *joined = tavCommandJoin(static_cast<int>(argv.size()), argv.empty() ? nullptr : argv.data());
    ASSERT_NE(joined, nullptr);
    EXPECT_EQ(std::string(joined), expected);
    tavMemFree(joined);
  }
  // quoted words with blanks split back as they were
  char a[] = "tavCopy", b[] = "a b", c[] = "in put";
  char *argv[] = {a, b, c};
  char *j = tavCommandJoin(3, argv);
  EXPECT_EQ(split(j), (W{"tavCopy", "a b", "in put"}));
  tavMemFree(j);
  EXPECT_EQ(log(), std::vector<int>{});
}

TEST_F(Command, SystemOptions) {
  EXPECT_EQ(tavSystemOptions("-Stimexfer", 0x3), 0);
  EXPECT_TRUE(tavSysFlags & TAV_SYS_TIMEXFER);
  EXPECT_EQ(tavSystemOptions("-Snotimexfer", 0x3), 0);
  EXPECT_FALSE(tavSysFlags & TAV_SYS_TIMEXFER);
  EXPECT_EQ(tavSystemOptions("-Stimexfer", 0x1), 0);  // read, not applied
  EXPECT_FALSE(tavSysFlags & TAV_SYS_TIMEXFER);
  EXPECT_EQ(tavSystemOptions("-Sbogus", 0x3), -1);
  EXPECT_EQ(log(), (std::vector<int>{326, 375}));
  ::testing::internal::CaptureStdout();
  tavSystemOptions("-Sstoptimer", 0x3);  // no timer runs: nothing
  tavSystemOptions("-Sstarttimer", 0x1);  // skipped: still no timer
  tavSystemOptions("-Sstoptimer", 0x3);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  ::testing::internal::CaptureStdout();
  tavSystemOptions("-Sstarttimer", 0x3);
  tavSystemOptions("-Sstoptimer", 0x3);
  EXPECT_EQ(::testing::internal::GetCapturedStdout().rfind("Time Elapsed     0.0", 0), 0u);
}

TEST_F(Command, ExecuteDepth) {
  EXPECT_EQ(tavExecuteStatus(), 0);
  tavExecuteStart();
  EXPECT_EQ(tavExecuteStatus(), 1);
  EXPECT_EQ(tavExecuteStop(), 0);
  EXPECT_EQ(tavExecuteStop(), 0);
  EXPECT_EQ(log(), (std::vector<int>{710}));
  EXPECT_EQ(tavExecuteStatus(), 0);
}

TEST_F(Command, InterpreterRunsCopiesAndLeavesNothing) {
  std::string cmd = "tavCopy g -count 1 -w 3 -h 2 -d 8 " + path("o.pgm") + " -normal";
  ASSERT_EQ(tavExecute(cmd.c_str(), kAll), 0);
  EXPECT_EQ(readFile(path("o.pgm")), "P2\n3 2\n255\n  0   1   2\n  3   4   5\n");
  EXPECT_EQ(imageListHead(), nullptr);  // both released by the command
  // empty commands run nothing
  EXPECT_EQ(tavExecute("", kAll), 0);
  EXPECT_EQ(tavExecute(" ; ;# x\n", kAll), 0);
  EXPECT_EQ(tavGetLogSize(), 0);
}

TEST_F(Command, UnmatchedCommandsAndTheShell) {
  std::string marker = path("ran");
  std::string cmd = "touch " + marker + " ; tavCopy g -const -w 1 -h 1 -d 8 " + path("a.pgm");
  // without 0x20 the unmatched command is only left over
  EXPECT_EQ(tavExecute(("touch " + marker).c_str(), kAll & ~0x20), 0);
  EXPECT_NE(access(marker.c_str(), F_OK), 0);
  // with 0x20 but no host opt-in it fails and nothing reaches the shell
  tavLogReset();
  EXPECT_EQ(tavExecute(cmd.c_str(), kAll), -1);
  EXPECT_EQ(log(), (std::vector<int>{709}));
  EXPECT_NE(access(marker.c_str(), F_OK), 0);
  // with the opt-in the shell gets only the unmatched command, then the copy runs
  tavSysFlags |= TAV_SYS_ALLOW_SHELL;
  tavLogReset();
  EXPECT_EQ(tavExecute(cmd.c_str(), kAll), 0);
  EXPECT_EQ(access(marker.c_str(), F_OK), 0);
  EXPECT_EQ(access(path("a.pgm").c_str(), F_OK), 0);
  EXPECT_EQ(tavExecute("false", kAll), -1);
  EXPECT_EQ(log(), (std::vector<int>{708}));
  tavSysFlags &= ~TAV_SYS_ALLOW_SHELL;
  // an unmatched name behind system options counts as words left over
  tavLogReset();
  EXPECT_EQ(tavExecute("-Stimexfer nosuch x", kAll), 0);
  EXPECT_EQ(log(), (std::vector<int>{707}));
  tavSysFlags &= ~TAV_SYS_TIMEXFER;
  tavLogReset();
  EXPECT_EQ(tavExecute("-Sfoo tavCopy a b", kAll), -1);
  EXPECT_EQ(log(), (std::vector<int>{326, 702, 706}));
}

TEST_F(Command, HelpPrintsFourLines) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(tavCopy("-help", 0x4), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "\nSynopsis:  tavCopy <input> <output>\nVersion: 1.288 of 01/29/02\n"
            "Package: qelmorph   Platform: windows   Compilation: dist \n"
            "Description: (see description in tav/doc/tavManual)\n\n");
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(tavCopy("-help", 0x30), 0);  // without 0x4 not recognised: no image is made
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(imageListHead(), nullptr);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(tavExecute("tavExecute -help", kAll), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout().rfind("\nSynopsis:  tavExecuteFiles <filename>...<filename>\n", 0),
            0u);
}

TEST_F(Command, CopyFailuresAreReportedAndCleanedUp) {
  EXPECT_EQ(tavCopy("nosuch.pgm out.pgm", kAll), -1);
  EXPECT_EQ(log(), (std::vector<int>{673, 789, 787}));
  EXPECT_EQ(imageListHead(), nullptr);
}

TEST_F(Command, CommandFiles) {
  std::string script = path("s.tav");
  writeFile(script, "# a script\n\n   \ntavCopy g -const -f 5 -w 2 -h 1 -d 8 " + path("f.pgm") +
                        " -normal # end\n");
  EXPECT_EQ(tavExecuteFile(script.c_str(), kAll), 0);
  EXPECT_EQ(readFile(path("f.pgm")), "P2\n2 1\n255\n  5   5\n");
  EXPECT_EQ(tavExecuteFile(path("missing").c_str(), kAll), -1);
  EXPECT_EQ(log(), (std::vector<int>{752}));
  tavLogReset();
  writeFile(script, "tavCopy nosuch " + path("x.pgm") + "\n");
  EXPECT_EQ(tavExecuteFiles(script.c_str(), kAll), -1);
  EXPECT_EQ(log(), (std::vector<int>{673, 789, 706, 753, 754, 751}));
}

TEST_F(Command, CommandFileLinesAreReadWhole) {
  std::string script = path("long.tav");
  std::string name = path("n") + std::string(5000, 'x').substr(0, 200) + ".pgm";
  std::string line = "tavCopy g -const -w 1 -h 1 -d 8 " + name + std::string(6000, ' ') + "\n";
  writeFile(script, line);
  EXPECT_EQ(tavExecuteFile(script.c_str(), kAll), 0);
  EXPECT_EQ(access(name.c_str(), F_OK), 0);
  writeFile(script, std::string((1 << 20) + 10, ' '));
  EXPECT_EQ(tavExecuteFile(script.c_str(), kAll), -1);
  EXPECT_EQ(log(), (std::vector<int>{755}));
}

TEST_F(Command, NestedCommandFilesAreCapped) {
  std::string script = path("self.tav");
  writeFile(script, "tavExecute " + script + "\n");
  EXPECT_EQ(tavExecuteFile(script.c_str(), kAll), -1);
  EXPECT_TRUE(logHas(756));
}
