// Prints the checksum of what a build of the library makes of each numbered rotation case, or
// "fail" where it made nothing or logged a failure on the way (a file made then is no result to
// hold a later build to): the expectations of the rotation property. Built against the earlier
// build's shared library by rotate_goldens.sh, never by the tests.
#include "../rotate_cases.h"

#include <cstdlib>
#include <string>

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: rotate_goldens <cases> <scratch folder>\n");
    return 2;
  }
  const unsigned long n = std::strtoul(argv[1], nullptr, 10);
  const std::string dir = argv[2];
  tavInit(0);
  for (unsigned long k = 0; k < n; ++k) {
    const rotcase::Case c = rotcase::makeCase(k);
    const rotcase::Result r = rotcase::run(c, dir);
    if (r.rc == 0 && r.log.empty() && !r.output.empty())
      std::printf("%lu %016llx\n", k, static_cast<unsigned long long>(rotcase::checksum(r.output)));
    else
      std::printf("%lu fail\n", k);
    std::fflush(stdout);
  }
  tavTerminate(1);
  return 0;
}
