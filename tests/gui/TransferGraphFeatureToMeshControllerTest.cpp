#include "src/gui/TransferGraphFeatureToMeshController.h"

#include "host/core/Properties.h"
#include "host/gui/PropertiesWidget.h"
#include "host/lib/Mesh.h"
#include "src/algorithms/TransferGraphFeatureToMeshAlgorithm.h"
#include "src/graph/Graph.h"

#include <gtest/gtest.h>

#include <QComboBox>

using namespace Quorvale;

TEST(TransferGraphFeatureToMeshControllerTest, TheEdgeFeatureIsChosenFromTheGraphsFeatures)
{
	Graph graph;
	graph.getOrCreateEdgeFeatureIdx("length", 0.0);
	Mesh mesh;
	TransferGraphFeatureToMeshAlgorithm algorithm(graph, mesh);
	Properties stored;
	algorithm.configuration(stored);
	EXPECT_EQ(stored.paramType("edgeFeatureName"), PropertiesDetail::ParamType::TextChoice);
	EXPECT_EQ(static_cast<int>(PropertiesDetail::ParamType::TextChoice), 9);

	TransferGraphFeatureToMeshController panel(&algorithm);
	panel.init();
	auto* choice = qobject_cast<QComboBox*>(panel.propertiesWidget()->editor("edgeFeatureName"));
	ASSERT_NE(choice, nullptr) << "a free text field instead of a choice";
	// The graph's features, and the empty name it starts with.
	EXPECT_EQ(choice->currentText(), "");
	const int diameter = choice->findText("diameter");
	EXPECT_GE(diameter, 0);
	EXPECT_GE(choice->findText("length"), 0);
	choice->setCurrentIndex(diameter);
	EXPECT_EQ(algorithm.edgeFeatureName.value(), "diameter");
}
