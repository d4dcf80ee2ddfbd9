// ReplaceAllBytes against a plain copy of the same bytes, for sparse and dense matches.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>

#include "run_state.h"
#include "stream_replace.h"
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

// What a file rewrite pays for the output, less the disk: the bytes are only looked at.
class DiscardingOutput : public ReplaceOutput {
  public:
    bool Begin(std::uint64_t) override { return true; }
    bool Write(std::string_view bytes) override {
        benchmark::DoNotOptimize(bytes.data());
        return true;
    }
};

// The streaming replacer as a file rewrite drives it: 1 MiB chunks copied into its window.
void Stream(benchmark::State& state, const char* replacement) {
    const Bytes content = Content(static_cast<std::size_t>(state.range(0)));
    StreamReplacer replacer("needle", replacement);
    DiscardingOutput output;
    for (auto _ : state) {
        replacer.Start();
        for (std::size_t at = 0; at < content.size();) {
            const std::size_t size = std::min(replacer.ReadCapacity(), content.size() - at);
            std::memcpy(replacer.ReadSpace(), content.data() + at, size);
            at += size;
            replacer.Consume(size, at == content.size(), output);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(content.size()));
}

void StreamSameLength(benchmark::State& state) {
    Stream(state, "thread");
}
void StreamLonger(benchmark::State& state) {
    Stream(state, "longer thread");
}

}  // namespace

// 1024: sparse (a match every KiB); 16: dense (a match every 16 bytes).
BENCHMARK(CopyFloor)->Arg(1024)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(ReplaceSameLength)->Arg(1024)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(ReplaceLonger)->Arg(1024)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(ReplaceDelete)->Arg(1024)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(StreamSameLength)->Arg(1024)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(StreamLonger)->Arg(1024)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
