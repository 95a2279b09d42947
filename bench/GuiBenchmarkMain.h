#pragma once

#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <cstdlib>

/// The main of a benchmark program that draws: a GUI application on Qt's offscreen platform (unless
/// QT_QPA_PLATFORM names another) for images and fonts, then the benchmarks.
inline int runGuiBenchmarks(int argc, char** argv)
{
	setenv("QT_QPA_PLATFORM", "offscreen", 0);
	new QGuiApplication(argc, argv); // never deleted: the offscreen platform does not survive teardown
	benchmark::Initialize(&argc, argv);
	benchmark::RunSpecifiedBenchmarks();
	return 0;
}
