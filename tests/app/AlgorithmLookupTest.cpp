#include "app/AlgorithmLookup.h"

#include <memory>
#include <stdexcept>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/lib/FactoryRegistry.h"
#include "tests/app/ProgramTestSupport.h"

using namespace Quorvale;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST(AlgorithmLookupTest, CloseCandidatesCatchCaseTyposAndPartialNames)
{
	const std::vector<AlgorithmLookup::Entry> entries = {{"Graph.MinimumSpanningTree", "MinimumSpanningTree"},
	                                                     {"Graph.PruneTerminalPaths", "PruneTerminalPaths"},
	                                                     {"Test.Threshold", "Threshold"},
	                                                     {"Other.Threshold", "Threshold"}};
	EXPECT_THAT(AlgorithmLookup::closeCandidates("minimumspanningtree", entries), ElementsAre("Graph.MinimumSpanningTree"));
	EXPECT_THAT(AlgorithmLookup::closeCandidates("MinimumSpaningTree", entries), ElementsAre("Graph.MinimumSpanningTree"));
	EXPECT_THAT(AlgorithmLookup::closeCandidates("Prune", entries), ElementsAre("Graph.PruneTerminalPaths"));
	EXPECT_THAT(AlgorithmLookup::closeCandidates("Treshold", entries), ElementsAre("Test.Threshold", "Other.Threshold"));
	EXPECT_THAT(AlgorithmLookup::closeCandidates("Spline", entries), IsEmpty());
	EXPECT_THAT(AlgorithmLookup::closeCandidates("", entries), IsEmpty());
}

namespace
{
	class Nothing : public Algorithm
	{
	public:
		static bool createCompatible(const DataList&, Algorithm** out)
		{
			if (out)
				*out = new Nothing;
			return true;
		}
		void compute() override { m_status = Success; }
	};

	class NamedFactory : public AlgorithmFactory
	{
	public:
		explicit NamedFactory(const std::string& name)
		    : AlgorithmFactory(name)
		{
			registerAlgorithm<Nothing>("Smooth", name + ";Smooth");
			registerAlgorithm<Nothing>("Only" + name, name + ";Only");
		}
	};

	std::string lookupError(const std::string& id)
	{
		return ProgramTestSupport::errorOf([&id] { AlgorithmLookup::find(id); });
	}
}

TEST(AlgorithmLookupTest, FindsFullAndUniqueShortIdentifiersAndExplainsTheRest)
{
	// This process's registry is otherwise empty: the tests load no plug-in.
	FactoryRegistry::get().registerFactories(std::make_unique<NamedFactory>("Lookup1"), nullptr, nullptr);
	FactoryRegistry::get().registerFactories(std::make_unique<NamedFactory>("Lookup2"), nullptr, nullptr);

	EXPECT_EQ(AlgorithmLookup::find("Lookup2.Smooth").id, "Lookup2.Smooth");
	EXPECT_EQ(AlgorithmLookup::find("OnlyLookup1").id, "Lookup1.OnlyLookup1");
	EXPECT_EQ(lookupError("Smooth"),
	          "Ambiguous algorithm 'Smooth'; give the full identifier of one of:\n  Lookup1.Smooth\n  Lookup2.Smooth");
	EXPECT_EQ(lookupError("lookup1.smooth"), "Unknown algorithm 'lookup1.smooth'. Did you mean:\n  Lookup1.Smooth\n  Lookup2.Smooth");
	EXPECT_THAT(lookupError("Sharpen"), HasSubstr("'quorvale algorithms' lists the registered ones"));
}
