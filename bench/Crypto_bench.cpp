// Throughput of the package cipher and the digest: encryption must never become the slow
// part of a protected build.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "Gost.h"
#include "Haval.h"

namespace {

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    uint32_t x = 0x9E3779B9u;
    for (auto& b : v) {
        x = x * 1664525u + 1013904223u;
        b = uint8_t(x >> 24);
    }
    return v;
}

using TGostChainProc = void (*)(TGostContext&, const uint8_t*, uint8_t*, int32_t);

// One call per 64 KiB block, in place, as the packer encrypts what the library writes.
void BM_GostCBC(benchmark::State& state, TGostChainProc crypt) {
    const size_t size = size_t(state.range(0));
    std::vector<uint8_t> buf = Pattern(size);
    const std::vector<uint8_t> key = Pattern(32);
    TGostContext ctx;
    GostInit(ctx, key.data(), 256, nullptr);
    for (auto _ : state) {
        crypt(ctx, buf.data(), buf.data(), int32_t(size));
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    GostBurn(ctx);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
}
BENCHMARK_CAPTURE(BM_GostCBC, Encrypt, GostEncryptCBC)->Arg(64 * 1024);
BENCHMARK_CAPTURE(BM_GostCBC, Decrypt, GostDecryptCBC)->Arg(64 * 1024);

void BM_HavalUpdate(benchmark::State& state) {
    const size_t size = size_t(state.range(0));
    const std::vector<uint8_t> buf = Pattern(size);
    THavalContext ctx;
    HavalInit(ctx);
    for (auto _ : state) {
        HavalUpdate(ctx, buf.data(), int32_t(size));
        benchmark::DoNotOptimize(ctx.Hash);
    }
    HavalBurn(ctx);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
}
BENCHMARK(BM_HavalUpdate)->Arg(64 * 1024);

// A password's way to its key: the whole digest of a short text.
void BM_HavalShortText(benchmark::State& state) {
    const char text[] = "zvqCorrect Horse Battery Staplezvq";
    uint8_t digest[32];
    for (auto _ : state) {
        THavalContext ctx;
        HavalInit(ctx);
        HavalUpdate(ctx, text, int32_t(sizeof text - 1));
        HavalFinal(ctx, digest);
        benchmark::DoNotOptimize(digest);
    }
}
BENCHMARK(BM_HavalShortText);

}  // namespace

BENCHMARK_MAIN();
