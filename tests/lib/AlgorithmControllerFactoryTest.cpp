#include "host/lib/AlgorithmControllerFactory.h"
#include "host/lib/Data.h"
#include "host/lib/FactoryRegistry.h"

#include <gtest/gtest.h>

using namespace Quorvale;

namespace
{
	// Records how it was asked; accepts non-empty selections.
	struct PanelCalls
	{
		int compatibilityTests = 0;
		int creations = 0;
	};
	PanelCalls panelCalls;

	class TestPanel
	{
	public:
		static bool createCompatible(const DataList& data, DataController** out)
		{
			if (out)
				++panelCalls.creations;
			else
				++panelCalls.compatibilityTests;
			return !data.isEmpty();
		}
	};

	class OtherPanel : public TestPanel
	{
	};

	class PanelFactory : public AlgorithmControllerFactory
	{
	public:
		explicit PanelFactory(const std::string& panelName)
		    : AlgorithmControllerFactory("Test")
		{
			registerDataController<TestPanel>(panelName);
		}
		AlgorithmController* create(Algorithm*) const override { return nullptr; }
		using AlgorithmControllerFactory::registerDataController;
	};
}

TEST(AlgorithmControllerFactoryTest, DataPanelCreatesOnlyWhenAskedByName)
{
	PanelFactory factory("Vessels;Vessel Display");
	Data item;
	EXPECT_EQ(factory.dataControllerNames(), std::vector<std::string>{"Vessels;Vessel Display"});
	EXPECT_EQ(factory.dataControllerName<TestPanel>(), "Vessels;Vessel Display");

	panelCalls = {};
	EXPECT_EQ(factory.compatibleDataControllers(DataList{&item}), std::vector<std::string>{"Vessels;Vessel Display"});
	EXPECT_TRUE(factory.compatibleDataControllers(DataList{}).empty());
	EXPECT_EQ(panelCalls.creations, 0);
	EXPECT_EQ(panelCalls.compatibilityTests, 2);

	EXPECT_EQ(factory.createDataController("Vessels;Vessel Display", DataList{&item}), nullptr);
	EXPECT_EQ(panelCalls.creations, 1);
	EXPECT_EQ(factory.createDataController("Unknown", DataList{&item}), nullptr);
	EXPECT_EQ(panelCalls.creations, 1);
}

TEST(AlgorithmControllerFactoryTest, NameTakenByARegisteredFactoryIsDropped)
{
	FactoryRegistry::get().registerFactories(nullptr, std::make_unique<PanelFactory>("Trees;Tree Display"), nullptr);
	// The same parsed name in other letter case and under another menu path is taken already.
	PanelFactory second("Other;TREE display");
	EXPECT_TRUE(second.dataControllerNames().empty());
	EXPECT_TRUE(second.dataControllerName<TestPanel>().empty());
	second.registerDataController<OtherPanel>("Trees;Forest Display");
	EXPECT_EQ(second.dataControllerNames(), std::vector<std::string>{"Trees;Forest Display"});
}
