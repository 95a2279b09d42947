#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace Quorvale::Fuzz
{
	/// One reader under fuzzing. `run` reads an input and aborts (through `check`) when the reader
	/// misbehaves: a refused input that leaves no error message, or an accepted one that does not
	/// come back the same after writing and reading it again. `seeds` are small valid inputs of the
	/// reader, the start of its corpus.
	struct FuzzTarget
	{
		std::string name;
		std::function<void(std::string_view input)> run;
		std::function<std::vector<std::string>()> seeds;
	};

	/// Every target linked into the program, registered by `FuzzTargetRegistration` objects.
	std::vector<FuzzTarget>& fuzzTargets();
	/// The target named `name`; aborts when there is none.
	const FuzzTarget& fuzzTarget(const std::string& name);

	/// Aborts with `what` when `condition` is false: libFuzzer keeps the input as a crash.
	void check(bool condition, const std::string& what);

	/// Registers a target at start-up: `static FuzzTargetRegistration r{{"name", run, seeds}};`.
	struct FuzzTargetRegistration
	{
		explicit FuzzTargetRegistration(FuzzTarget target) { fuzzTargets().push_back(std::move(target)); }
	};
}
