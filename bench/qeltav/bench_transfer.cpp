// Native-to-native transfers of a 300 dpi page against a plain memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "internal.h"

namespace {
constexpr int kW = 2550, kH = 3300;

void BM_Memcpy(benchmark::State &state) {
  const size_t n = static_cast<size_t>(kW) * kH * static_cast<size_t>(state.range(0)) / 8;
  std::vector<unsigned char> a(n, 1), b(n);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), n);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

void BM_NativeToNative(benchmark::State &state) {
  const int depth = static_cast<int>(state.range(0));
  tavInit(0);
  std::string words = "src -nat -w " + std::to_string(kW) + " -h " + std::to_string(kH) + " -d " + std::to_string(depth);
  int argc = 0;
  char **argv = nullptr;
  tavCommandSplit(&argc, &argv, words.c_str(), nullptr);
  tavImage *in = inputCreateFromOptions(argc, argv, nullptr, 0x30, nullptr);
  tavMemFree(argv);
  tavStartImage(in);
  std::memset(tavGetDataAddr(in), 7, static_cast<size_t>(tavGetLinebytes(in)) * kH);
  tavCommandSplit(&argc, &argv, "dst -nat", nullptr);
  tavImage *out = outputCreateFromOptions(argc, argv, nullptr, 0x30, in);
  tavMemFree(argv);
  const size_t n = static_cast<size_t>(tavGetLinebytes(in)) * kH;
  for (auto _ : state) {
    if (tavCopyImage(in, out) != 0) state.SkipWithError("copy failed");
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
  tavRelease(in);
  tavRelease(out);
  tavTerminate(1);
}

// A native page converted on its way into a native output of another depth: the cost of
// the conversion stage alone, without file I/O or process start-up.
void BM_NativeConvert(benchmark::State &state) {
  const int from = static_cast<int>(state.range(0)), to = static_cast<int>(state.range(1));
  tavInit(0);
  std::string words = "src -nat -w " + std::to_string(kW) + " -h " + std::to_string(kH) + " -d " + std::to_string(from);
  int argc = 0;
  char **argv = nullptr;
  tavCommandSplit(&argc, &argv, words.c_str(), nullptr);
  tavImage *in = inputCreateFromOptions(argc, argv, nullptr, 0x30, nullptr);
  tavMemFree(argv);
  tavStartImage(in);
  auto *d = static_cast<unsigned char *>(tavGetDataAddr(in));
  const size_t n = static_cast<size_t>(tavGetLinebytes(in)) * kH;
  for (size_t i = 0; i < n; ++i) d[i] = static_cast<unsigned char>(i * 2654435761u >> 13);
  std::string outWords = "dst -nat -d " + std::to_string(to);
  tavCommandSplit(&argc, &argv, outWords.c_str(), nullptr);
  tavImage *out = outputCreateFromOptions(argc, argv, nullptr, 0x30, in);
  tavMemFree(argv);
  for (auto _ : state) {
    if (tavCopyImage(in, out) != 0) state.SkipWithError("copy failed");
    benchmark::ClobberMemory();
  }
  state.counters["Mpx/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kW * kH / 1e6,
                                               benchmark::Counter::kIsRate);
  tavRelease(in);
  tavRelease(out);
  tavTerminate(1);
}
}  // namespace

BENCHMARK(BM_Memcpy)->Arg(8)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NativeToNative)->Arg(8)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NativeConvert)->Args({24, 8})->Args({8, 1})->Args({1, 8})->Args({24, 1})->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
