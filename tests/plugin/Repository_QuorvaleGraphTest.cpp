#include "src/plugin/Repository_QuorvaleGraph.h"

#include "host/core/Log.h"
#include "src/plugin/GraphPlugin.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

using namespace Quorvale;

namespace Quorvale::StoredResources
{
	extern const unsigned char graphToLabelVessel[];
	extern const std::size_t graphToLabelVesselSize;
}

namespace
{
	ByteBufferView storedShader() { return ByteBufferView(StoredResources::graphToLabelVessel, StoredResources::graphToLabelVesselSize); }
}

TEST(Repository_QuorvaleGraphTest, StoresTheShaderEncipheredUnderItsExactNameAndGivesItDeciphered)
{
	const Repository_QuorvaleGraph repository;
	EXPECT_EQ(repository.name(), "QuorvaleGraph");
	EXPECT_TRUE(repository.has("GraphToLabelVessel.comp"));
	for (const char* other : {"graphtolabelvessel.comp", "QuorvaleGraph/GraphToLabelVessel.comp", ""})
		EXPECT_FALSE(repository.has(other)) << other;
	{
		Log::ScopedCapture log;
		EXPECT_FALSE(repository.get("GraphToLabelVessel"));
		EXPECT_TRUE(log.sink().messages().empty());
	}

	const std::string stored(reinterpret_cast<const char*>(storedShader().data()), storedShader().size());
	EXPECT_EQ(stored.find("u_graphToPixelMatrix"), std::string::npos);

	const auto shader = repository.get("GraphToLabelVessel.comp");
	ASSERT_TRUE(shader);
	const std::string text = shader->toString();
	EXPECT_EQ(text.rfind("#version 430\n", 0), 0u);
	EXPECT_NE(text.find("u_graphToPixelMatrix"), std::string::npos);

	// The pieces of an entry are joined in order before deciphering.
	const ByteBufferView whole = storedShader();
	const Repository_QuorvaleGraph pieces({{"split", {ByteBufferView(whole.data(), 10), ByteBufferView(whole.data() + 10, 0),
	                                                   ByteBufferView(whole.data() + 10, whole.size() - 10)}}});
	EXPECT_EQ(pieces.get("split"), shader);
}

TEST(Repository_QuorvaleGraphTest, DamagedEntryLogsOneErrorAndGivesNothing)
{
	ByteBuffer damaged = storedShader().copy();
	damaged[damaged.size() / 2] ^= 0x01;
	const Repository_QuorvaleGraph repository({{"Damaged.comp", {ByteBufferView(damaged)}}, {"Short", {ByteBufferView("abc", 3)}}});
	for (const char* name : {"Damaged.comp", "Short"})
	{
		Log::ScopedCapture log;
		EXPECT_FALSE(repository.get(name));
		EXPECT_EQ(log.sink().messages(), std::vector<std::string>{"Error during decryption of resource " + std::string(name) +
		                                                          " from repository QuorvaleGraph"});
	}
}

TEST(Repository_QuorvaleGraphTest, ThePluginServesItWhileItLives)
{
	const std::string path = "QuorvaleGraph/GraphToLabelVessel.comp";
	{
		GraphPlugin plugin;
		EXPECT_FALSE(Resource::has(path));
		ASSERT_EQ(plugin.init(), PluginBase::Success);
		const auto shader = Resource::get(path);
		ASSERT_TRUE(shader);
		EXPECT_EQ(shader->toString().rfind("#version 430", 0), 0u);
	}
	EXPECT_FALSE(Resource::has(path));
}
