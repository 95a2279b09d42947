#include "src/gui/DrawGraphAlgorithm.h"

#include "host/gui/DisplayWidgetMulti.h"
#include "host/lib/AlgorithmRunner.h"
#include "host/lib/SharedImageSet.h"
#include "src/gui/DrawGraphController.h"
#include "tests/gui/RenderTestSupport.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

using namespace Quorvale;

TEST(DrawGraphAlgorithmTest, AcceptsNothingOrOneGraph)
{
	Graph first, second;
	SharedImageSet image;
	const struct
	{
		DataList data;
		bool accepted;
		Graph* edited;
	} cases[] = {
	    {DataList(), true, nullptr},
	    {DataList{&first}, true, &first},
	    {DataList{&first, &second}, false, nullptr},
	    {DataList{&image}, false, nullptr},
	};
	for (const auto& c : cases)
	{
		Algorithm* created = nullptr;
		EXPECT_EQ(DrawGraphAlgorithm::createCompatible(c.data, &created), c.accepted);
		std::unique_ptr<Algorithm> owned(created);
		EXPECT_EQ(owned != nullptr, c.accepted);
		if (auto* draw = dynamic_cast<DrawGraphAlgorithm*>(owned.get()))
		{
			EXPECT_EQ(draw->edittedGraph(), c.edited);
			EXPECT_EQ(draw->ownsGraph(), c.edited == nullptr);
		}
	}
}

TEST(DrawGraphAlgorithmTest, ComputeCreatesANewEmptyGraphEachTimeAndReportsSuccess)
{
	DrawGraphAlgorithm algorithm(nullptr);
	EXPECT_EQ(algorithm.dimensions.value(), Graph::Dimension::TwoD);
	algorithm.dimensions = Graph::Dimension::ThreeD;
	algorithm.type = Graph::Type::Directed;
	EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
	EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
	OwningDataList output = algorithm.takeOutput();
	ASSERT_EQ(output.size(), 1);
	auto* graph = dynamic_cast<Graph*>(output.get(0));
	ASSERT_NE(graph, nullptr);
	EXPECT_TRUE(graph->empty());
	EXPECT_EQ(graph->dimension(), Graph::Dimension::ThreeD);
	EXPECT_EQ(graph->type(), Graph::Type::Directed);
	EXPECT_TRUE(algorithm.takeOutput().isEmpty());

	Graph edited;
	DrawGraphAlgorithm editing(&edited);
	EXPECT_EQ(AlgorithmRunner::run(editing), Algorithm::Success);
	EXPECT_TRUE(editing.takeOutput().isEmpty());
}

TEST(DrawGraphControllerTest, ComputeButtonStaysAfterAFailureAndAnOutputWithoutGraphInstallsNothing)
{
	DrawGraphAlgorithm algorithm(nullptr);
	DrawGraphController panel(&algorithm);
	panel.init();
	ASSERT_NE(panel.computeButton(), nullptr);
	panel.setRunner([](Algorithm& a) { a.setStatus(Algorithm::Error); });
	panel.onCompute();
	EXPECT_FALSE(panel.computeButton()->isHidden());

	OwningDataList images;
	images.add(std::make_unique<SharedImageSet>());
	EXPECT_EQ(panel.postprocessOutput(std::move(images)).size(), 1);
	EXPECT_EQ(panel.interactiveObject(), nullptr);

	panel.setRunner([](Algorithm& a) { a.compute(); });
	panel.onCompute();
	EXPECT_TRUE(panel.computeButton()->isHidden());
}

TEST(DrawGraphControllerTest, ANewPlanarGraphOverAVolumeIsSaidNotToShowThere)
{
	using Dimension = Graph::Dimension;
	// The image's depth, the dimension chosen, whether the note shows.
	for (const auto& [depth, dimension, note] :
	     {std::tuple{8, Dimension::TwoD, true}, {8, Dimension::ThreeD, false}, {1, Dimension::TwoD, false}})
	{
		DisplayWidgetMulti display;
		auto image = RenderTest::image({8, 8, depth});
		display.setCurrentImage(image.get());
		DrawGraphAlgorithm algorithm(nullptr);
		DrawGraphController panel(&algorithm);
		panel.setDisplayWidget(&display);
		panel.init();
		// The dimension changes as the panel's row writes it.
		algorithm.dimensions = dimension;
		ASSERT_NE(panel.dimensionNote(), nullptr);
		EXPECT_EQ(!panel.dimensionNote()->isHidden(), note) << depth << " " << static_cast<int>(dimension);
		EXPECT_TRUE(panel.dimensionNote()->text().contains("planar images"));
		display.setCurrentImage(nullptr);
	}
}
