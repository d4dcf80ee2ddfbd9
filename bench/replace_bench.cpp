// ReplaceAllBytes against a plain copy of the same bytes, for sparse and dense matches.
#include <benchmark/benchmark.h>

#include <cstring>

#include "run_state.h"
#include "text.h"

namespace {

constexpr std::size_t kSize = 64u << 20;

// Filler text with the find text "needle" every `spacing` bytes.
Bytes Content(std::size_t spacing) {
    Bytes content;
    content.reserve(kSize);
    const char filler[] = "the quick brown fox jumps over the lazy dog 0123456789 ";
    while (content.size() < kSize) {
        const std::size_t fill = spacing - 6;
        for (std::size_t i = 0; i < fill; ++i) content.push_back(filler[i % (sizeof filler - 1)]);
        content.append("needle");
    }
    return content;
}

void CopyFloor(benchmark::State& state) {
    const Bytes content = Content(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        Bytes copy(content);
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(content.size()));
}

void Replace(benchmark::State& state, const char* replacement) {
    const Bytes content = Content(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        Bytes result = ReplaceAllBytes(content, "needle", replacement);
        benchmark::DoNotOptimize(result.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(content.size()));
}

void ReplaceSameLength(benchmark::State& state) {
    Replace(state, "thread");
}
void ReplaceLonger(benchmark::State& state) {
    Replace(state, "longer thread");
}
void ReplaceDelete(benchmark::State& state) {
    Replace(state, "");
}

}  // namespace

// 1024: sparse (a match every KiB); 16: dense (a match every 16 bytes).
BENCHMARK(CopyFloor)->Arg(1024)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(ReplaceSameLength)->Arg(1024)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(ReplaceLonger)->Arg(1024)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(ReplaceDelete)->Arg(1024)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
