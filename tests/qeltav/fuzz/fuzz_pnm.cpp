// Fuzz entry: the PNM and raw readers, through the real creation and transfer path.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > (1u << 20)) return 0;
  static std::string file = "/tmp/qeltav-fuzz-" + std::to_string(getpid()) + ".pnm";
  FILE *fp = std::fopen(file.c_str(), "wb");
  if (!fp) return 0;
  std::fwrite(data, 1, size, fp);
  std::fclose(fp);
  tavInit(TAV_SYS_HEAPCHECK);
  // read it (drain), then copy it into memory and to another file
  std::string read = file;
  tavCopy(read.c_str(), 0x10 | 0x20 | 0x40 | 0x1000);
  std::string toMem = file + " m -nat";
  tavCopy(toMem.c_str(), 0x10 | 0x20 | 0x40 | 0x100 | 0x200 | 0x400 | 0x1000);
  std::string raw = file + " -raw -w 7 -h 3 -d 8 -offset 3 " + file + ".out.pgm";
  tavCopy(raw.c_str(), 0x10 | 0x20 | 0x40 | 0x100 | 0x200 | 0x400 | 0x1000);
  if (imageListHead()) __builtin_trap();  // every command released what it made
  std::remove((file + ".out.pgm").c_str());
  tavLogReset();
  tavTerminate(1);
  return 0;
}
