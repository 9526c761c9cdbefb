// Fuzz entry: the command interpreter over command strings generated from the input bytes.
// The bytes choose commands, image words, options and small numbers, and the contents of PNM
// input files (whose headers may claim more than they hold). Every command runs for real, with
// creation, transfer and release, in a private folder. A command that fails leaves its output
// file as it was, and afterwards no file there may be larger than the sizes the script's words
// and its input files' headers declare allow.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>
#include <unistd.h>

#include "internal.h"

namespace {
struct Bytes {
  const uint8_t *p;
  size_t n;
  int next() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
  template <size_t N> const char *pick(const char *const (&words)[N]) { return words[next() % N]; }
};

struct Script {
  std::string text;
  std::vector<size_t> ends;          // where each command's text ends
  std::vector<std::string> outputs;  // each command's output file, or nothing
  std::vector<bool> pipes;           // each command's output is a pipe
  long maxSide = 1;                  // the largest side any word or file header declares
  long bound = 0;
  int files = 0;
  void side(long v) {
    if (v > maxSide) maxSide = v;
  }
};

// A small number for a size word, and what it declares.
std::string number(Bytes &b, Script &s) {
  static const int values[] = {0, 1, 2, 3, 7, 8, 9, 16, 31, 33, 47, -1, 3000};
  const int v = values[b.next() % (sizeof values / sizeof values[0])];
  if (v > 0) s.side(v);
  return std::to_string(v);
}

// Writes an input file: a PNM header of any kind whose content may be short, or raw bytes.
std::string inputFile(Bytes &b, Script &s) {
  const std::string name = "in" + std::to_string(s.files++) + (b.next() & 1 ? ".pgm" : ".raw");
  const int kind = 1 + b.next() % 6, w = 1 + b.next() % 40, h = 1 + b.next() % 40;
  const bool liar = b.next() % 4 == 0;
  const long bigW = liar ? 1 + b.next() * 7 : w, bigH = liar ? 1 + b.next() * 7 : h;
  static const int maxvals[] = {1, 100, 255, 256, 1000, 65535};
  const int maxval = maxvals[b.next() % 6];
  std::string data = "P" + std::to_string(kind) + "\n" + std::to_string(bigW) + " " + std::to_string(bigH) + "\n";
  if (kind != 1 && kind != 4) data += std::to_string(maxval) + "\n";
  const int bpp = (kind == 3 || kind == 6 ? 3 : 1) * (maxval > 255 ? 2 : 1);
  const long need = kind >= 4 ? (kind == 4 ? (bigW + 7) / 8 : bigW * bpp) * bigH : bigW * bigH * bpp * 4;
  const long len = b.next() % 2 ? need : b.next() * 4;
  for (long i = 0; i < len && i < (1 << 16); ++i) {
    int c = b.next();
    if (kind < 4) c = "0123456789 \n#"[c % 13];
    data.push_back(static_cast<char>(c));
  }
  // The header sizes the images made from the file even when samples are missing (a rotation
  // window that takes no source pixel reads none); a transfer that runs short fails instead.
  s.side(bigW > bigH ? bigW : bigH);
  if (FILE *fp = std::fopen(name.c_str(), "wb")) {
    std::fwrite(data.data(), 1, data.size(), fp);
    std::fclose(fp);
  }
  return name;
}

void sizeWords(Bytes &b, Script &s) {
  static const char *const words[] = {"-w", "-h", "-d", "-f", "-a", "-s", "-u", "-w0", "-b0", "-rgb", "-addr", "-size"};
  const int n = b.next() % 4;
  for (int i = 0; i < n; ++i) {
    const char *w = b.pick(words);
    s.text += std::string(" ") + w;
    if (w[1] == 'd' && w[2] == 0) {
      static const char *const depths[] = {"1", "8", "16", "24", "32", "3"};
      s.text += std::string(" ") + b.pick(depths);
    } else if (w[2] == 0 || w[1] == 'a' || w[1] == 's') {
      s.text += " " + number(b, s);
    }
  }
}

void inputWords(Bytes &b, Script &s) {
  static const char *const classes[] = {" -const", " -count 3", " -random", " -nat"};
  switch (b.next() % 4) {
    case 0: s.text += " p"; return;  // a pipe or a live image of that name
    case 1: s.text += " " + inputFile(b, s); break;
    default:
      s.text += std::string(" g") + b.pick(classes);
      s.side(3);  // generators default to nothing larger than their words
      break;
  }
  sizeWords(b, s);
}

void outputWords(Bytes &b, Script &s) {
  static const char *const outs[] = {" o.pgm", " o.ppm", " o.pbm", " o.pnm", " o", " o.raw", " m -nat",
                                     " p -pipe", " o -pgm -normal", " o.ppm -normal"};
  const char *out = b.pick(outs);
  s.text += out;
  s.pipes.back() = out[1] == 'p';
  if (out[1] == 'o') s.outputs.back() = std::string(out + 1).substr(0, std::string(out + 1).find(' '));
  sizeWords(b, s);
}

Script generate(Bytes &b) {
  Script s;
  static const char *const sys[] = {"-Sstarttimer ", "-Sstoptimer ", "-Stimexfer ", "-Snotimexfer ", "-Sbogus ", ""};
  static const char *const rotate[] = {" -90", " -180", " -270", " -0", " -mirror", " -angle 30", " -angle -7.5",
                                       " -fixed", " -float", " -x 2", " -y 1", " -width 9", " -height 5"};
  static const char *const colour[] = {" -sample 1", " -sample 3", " -sample 8", " -thresh 50", " -boolean",
                                       " -numeric", " -verbose", " -table g -const -w 512 -h 512 -d 8"};
  static const char *const map[] = {" -c1", " -sg 2", " -m 0.5 0.5 0.5", " -yiq", " -lab", " -nop", " -og", " -oc",
                                    " -min 10", " -thresh 100", " -dup"};
  static const char *const frame[] = {" -auto", " -green", " -color", " -report", " -verbose", " -lum 20 200"};
  const int commands = 1 + b.next() % 3;
  for (int c = 0; c < commands; ++c) {
    if (c > 0) s.text += b.next() & 1 ? " ;" : "\n";
    s.outputs.emplace_back();
    s.pipes.push_back(false);
    s.text += b.pick(sys);
    const int which = b.next() % 6;
    const int opts = b.next() % 3;
    switch (which) {
      case 0: case 1: s.text += "tavCopy"; break;
      case 2: s.text += "tavRotate"; for (int i = 0; i < opts; ++i) s.text += b.pick(rotate); break;
      case 3: s.text += "tavColorContent"; for (int i = 0; i < opts; ++i) s.text += b.pick(colour); break;
      case 4: s.text += "tavMapColor"; for (int i = 0; i < opts; ++i) s.text += b.pick(map); break;
      default: s.text += "tavFrame"; for (int i = 0; i < opts; ++i) s.text += b.pick(frame); break;
    }
    inputWords(b, s);
    if (which != 3 || b.next() & 1) outputWords(b, s);
    s.ends.push_back(s.text.size());
  }
  s.side(9);
  s.side(16);
  // any rotation fits a square of twice the larger side; plain text takes up to 13 bytes a
  // sample, three samples a pixel
  const long side = 2 * s.maxSide + 2;
  s.bound = 64 + 39 * side * side;
  return s;
}

std::string g_dir, g_home;

bool sameFile(const struct stat &a, const struct stat &b) {
  return a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

[[noreturn]] void fail(const Script &s, const char *what, const std::string &name, long long size) {
  std::fprintf(stderr, "%s: output %s of %lld bytes in %s, bound %ld, script:\n%s\n", what, name.c_str(), size,
               g_dir.c_str(), s.bound, s.text.c_str());
  __builtin_trap();
}

void emptyFolder() {
  DIR *d = opendir(".");
  if (!d) return;
  while (dirent *e = readdir(d))
    if (e->d_name[0] != '.' || e->d_name[1] != 0) unlink(e->d_name);
  closedir(d);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 4096) return 0;
  if (g_dir.empty()) {
    char tmpl[] = "/tmp/qeltav-fuzz-command-XXXXXX";
    char here[4096];
    if (!mkdtemp(tmpl) || !getcwd(here, sizeof here)) return 0;
    g_dir = tmpl;
    g_home = here;
    std::atexit([] {
      if (chdir(g_dir.c_str()) == 0) emptyFolder();
      rmdir(g_dir.c_str());
    });
  }
  // the script's files live in the private folder, for this input only
  if (chdir(g_dir.c_str()) != 0) std::abort();
  emptyFolder();
  Bytes b{data, size};
  const Script script = generate(b);
  if (std::getenv("QELTAV_FUZZ_SHOW")) std::fprintf(stderr, "%s\n", script.text.c_str());
  tavInit(TAV_SYS_HEAPCHECK);
  // every command creates, transfers and releases; an unmatched command is refused, never
  // handed to the shell (the host does not allow it here). A command whose output is a pipe runs
  // in one script with the next, which reads it (a script's unread pipes go when it ends).
  size_t from = 0;
  for (size_t i = 0; i < script.ends.size(); ++i) {
    if (script.pipes[i] && i + 1 < script.ends.size()) continue;
    const std::string command = script.text.substr(from, script.ends[i] - from);
    const std::string &out = script.outputs[i];
    from = script.ends[i];
    struct stat before, after;
    const bool had = !out.empty() && stat(out.c_str(), &before) == 0;
    if (tavExecute(command.c_str(), 0x1 | 0x2 | 0x4 | 0x10 | 0x20 | 0x40 | 0x100 | 0x200 | 0x400 | 0x1000) != 0 &&
        !out.empty() && stat(out.c_str(), &after) == 0 && !(had && sameFile(before, after)))
      fail(script, "failed command left its output", out, after.st_size);
  }
  tavLogReset();
  tavTerminate(1);
  DIR *d = opendir(".");
  while (dirent *e = d ? readdir(d) : nullptr) {
    const std::string name = e->d_name;
    if (name.rfind("in", 0) == 0 || name == "." || name == "..") continue;
    struct stat st;
    if (stat(name.c_str(), &st) == 0 && st.st_size > script.bound) fail(script, "oversized", name, st.st_size);
  }
  if (d) closedir(d);
  emptyFolder();
  if (chdir(g_home.c_str()) != 0) std::abort();
  return 0;
}
