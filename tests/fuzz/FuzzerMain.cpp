// The libFuzzer entry point of one target, chosen when the program is built.
#include "tests/fuzz/FuzzTarget.h"

#include "host/core/Log.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
	// Only the errors matter to the checks; recording every information costs time.
	Quorvale::Log::setMinimumLevel(Quorvale::Log::Warning);
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
	static const Quorvale::Fuzz::FuzzTarget& target = Quorvale::Fuzz::fuzzTarget(QUORVALE_FUZZ_TARGET);
	target.run(std::string_view(reinterpret_cast<const char*>(data), size));
	return 0;
}
