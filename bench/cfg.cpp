// The cfg reader on a generated text of about 1 MB shaped like the game's
// files (objects of parameters, nested objects, arrays, comments). The figure
// that matters is BM_CfgParse against its floors: copying the text (every
// parse works on a fresh writable copy) and one pass over its bytes.
#include "cfg/OCfgMap.h"
#include "cfg/OCfgObject.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{

struct Sample
{
    std::string text;
    std::vector<std::string> paths;
};

const Sample& CfgSample()
{
    static const Sample sample = []
    {
        Sample s;
        std::mt19937 rng(12345);
        int screen = 0;
        while (s.text.size() < (1u << 20))
        {
            const std::string name = "screen" + std::to_string(screen++);
            s.text += "// " + name + "\n" + name + " {\n";
            s.text += "\tbackground = \"gfx/" + name + "/back ground.jpg\"\n";
            s.text += "\tsize [800 600]; music = track" + std::to_string(rng() % 20) + "\n";
            s.paths.push_back(name + ".size");
            for (int b = 0; b < 8; ++b)
            {
                const std::string button = "button" + std::to_string(b);
                s.text += "\t" + button + " {\n";
                s.text +=
                    "\t\tx = " + std::to_string(rng() % 800) + ", y = " + std::to_string(rng() % 600) + "\n";
                s.text += "\t\tcolor = 0x" + std::to_string(100000 + rng() % 899999) + "\n";
                s.text += "\t\tscale = 1.25 /* block comment */ frames [1 2 3 4 5 6]\n";
                s.text += "\t\tanimator { kind = pulse; period = 250 }\n";
                s.text += "\t}\n";
                s.paths.push_back(name + "." + button + ".x");
                s.paths.push_back(name + "." + button + ".animator.period");
            }
            s.text += "}\n";
        }
        return s;
    }();
    return sample;
}

std::string MapSample()
{
    std::string text;
    int section = 0;
    while (text.size() < (1u << 20))
    {
        text += "section" + std::to_string(section++) + " = {            // a section\n";
        for (int k = 0; k < 20; ++k)
        {
            text += "\tkey" + std::to_string(k) + "=" + std::to_string(k * 37) + "            // value\n";
        }
        text += "\tname=\"a \\\"quoted\\\" text\"\n\tlist=[1,2,3,4]\n}\n";
    }
    return text;
}

// Parse, then 100000 dotted-path lookups spread over the tree.
void BM_CfgParse(benchmark::State& state)
{
    const Sample& sample = CfgSample();
    std::vector<char> buffer(sample.text.size() + 1);
    std::mt19937 rng(7);
    std::vector<const std::string*> lookups;
    for (int i = 0; i < 100000; ++i)
    {
        lookups.push_back(&sample.paths[rng() % sample.paths.size()]);
    }
    for (auto _ : state)
    {
        std::memcpy(buffer.data(), sample.text.c_str(), sample.text.size() + 1);
        OCfgObject node;
        if (node.Parse(buffer.data(), static_cast<int>(sample.text.size())) != 1)
        {
            state.SkipWithError("parse failed");
            break;
        }
        long sum = 0;
        for (const std::string* path : lookups)
        {
            sum += node.GetI(*path, 0);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(sample.text.size()));
}
BENCHMARK(BM_CfgParse)->Unit(benchmark::kMillisecond);

void BM_CfgParseOnly(benchmark::State& state)
{
    const Sample& sample = CfgSample();
    std::vector<char> buffer(sample.text.size() + 1);
    for (auto _ : state)
    {
        std::memcpy(buffer.data(), sample.text.c_str(), sample.text.size() + 1);
        OCfgObject node;
        benchmark::DoNotOptimize(node.Parse(buffer.data(), static_cast<int>(sample.text.size())));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(sample.text.size()));
}
BENCHMARK(BM_CfgParseOnly)->Unit(benchmark::kMillisecond);

void BM_CfgLookups(benchmark::State& state)
{
    const Sample& sample = CfgSample();
    std::vector<char> buffer(sample.text.begin(), sample.text.end());
    buffer.push_back(0);
    OCfgObject node;
    node.Parse(buffer.data(), static_cast<int>(sample.text.size()));
    std::mt19937 rng(7);
    for (auto _ : state)
    {
        long sum = 0;
        for (int i = 0; i < 100000; ++i)
        {
            sum += node.GetI(sample.paths[rng() % sample.paths.size()], 0);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 100000);
}
BENCHMARK(BM_CfgLookups)->Unit(benchmark::kMillisecond);

// Floors: the copy every parse starts with, and one pass classifying bytes.
void BM_CfgFloorCopy(benchmark::State& state)
{
    const Sample& sample = CfgSample();
    std::vector<char> buffer(sample.text.size() + 1);
    for (auto _ : state)
    {
        std::memcpy(buffer.data(), sample.text.c_str(), sample.text.size() + 1);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(sample.text.size()));
}
BENCHMARK(BM_CfgFloorCopy)->Unit(benchmark::kMillisecond);

void BM_CfgFloorScan(benchmark::State& state)
{
    const Sample& sample = CfgSample();
    for (auto _ : state)
    {
        long braces = 0;
        for (char c : sample.text)
        {
            braces += (c == '{') - (c == '}');
        }
        benchmark::DoNotOptimize(braces);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(sample.text.size()));
}
BENCHMARK(BM_CfgFloorScan)->Unit(benchmark::kMillisecond);

void BM_CfgMapLoad(benchmark::State& state)
{
    const std::string text = MapSample();
    for (auto _ : state)
    {
        OCfgMap map;
        benchmark::DoNotOptimize(map.LoadFromText(text.c_str()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_CfgMapLoad)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
