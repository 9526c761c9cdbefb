// Standalone driver: replays every file of the given folders through the fuzz entry.
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {
int replay(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  std::string s = ss.str();
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(s.data()), s.size());
  return 1;
}
}  // namespace

int main(int argc, char **argv) {
  int n = 0;
  for (int i = 1; i < argc; ++i) {
    struct stat st;
    if (stat(argv[i], &st) != 0) {
      std::fprintf(stderr, "missing: %s\n", argv[i]);
      return 1;
    }
    if (!S_ISDIR(st.st_mode)) {
      n += replay(argv[i]);
      continue;
    }
    DIR *d = opendir(argv[i]);
    while (dirent *e = readdir(d))
      if (e->d_name[0] != '.') n += replay(std::string(argv[i]) + "/" + e->d_name);
    closedir(d);
  }
  std::fprintf(stderr, "replayed %d inputs\n", n);
  return n > 0 ? 0 : 1;
}
