#include "host/core/Properties.h"
#include "host/core/PropertiesIO.h"

#include <benchmark/benchmark.h>

using namespace Quorvale;

namespace
{
	Properties makeAttributes()
	{
		Properties p;
		p.setParam("label", std::string("left carotid"));
		p.setParam("radius", 1.25);
		return p;
	}

	std::string makeLargeText(int count)
	{
		Properties p;
		for (int i = 0; i < count; ++i)
			p.appendParam({"p" + std::to_string(i), PropertyValue(i), std::nullopt, PropertiesDetail::ParamType::Default, {}});
		return *PropertiesIO::saveToString(p, 4);
	}
}

// The typical node or edge attribute set: a couple of values.
static void BM_SaveSmall(benchmark::State& state)
{
	const Properties p = makeAttributes();
	for (auto _ : state)
		benchmark::DoNotOptimize(PropertiesIO::saveToString(p, 4));
}
BENCHMARK(BM_SaveSmall);

static void BM_LoadSmall(benchmark::State& state)
{
	const std::string text = *PropertiesIO::saveToString(makeAttributes(), 4);
	for (auto _ : state)
		benchmark::DoNotOptimize(PropertiesIO::loadFromString(text, 4));
}
BENCHMARK(BM_LoadSmall);

// Loading must stay linear in the number of entries (names are checked for repeats).
static void BM_LoadManyParameters(benchmark::State& state)
{
	const std::string text = makeLargeText(static_cast<int>(state.range(0)));
	for (auto _ : state)
		benchmark::DoNotOptimize(PropertiesIO::loadFromString(text, 4));
	state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LoadManyParameters)->RangeMultiplier(4)->Range(1 << 10, 1 << 18)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
