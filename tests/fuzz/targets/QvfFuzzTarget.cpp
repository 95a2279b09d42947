// The .qvf reader with the handlers of images and graphs: a refused file leaves an error, the
// objects of an accepted one read back the same after writing them (compared as written bytes), and
// every graph either is refused by the GraphML writer with a message or reads back from GraphML
// with its dimension, nodes, edges and feature names.
#include "tests/fuzz/FuzzTarget.h"
#include "tests/fuzz/targets/FuzzFiles.h"

#include "host/core/Log.h"
#include "host/lib/QuorvaleFile.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "src/graph/Graph.h"
#include "src/io/GraphMLIoAlgorithm.h"
#include "src/plugin/GraphPlugin.h"

#include <sstream>

namespace Quorvale::Fuzz
{
	namespace
	{
		/// The graph handler comes from the plug-in's start, as in the program.
		void registerHandlers()
		{
			static const bool done = []
			{
				GraphPlugin plugin;
				return plugin.init() == PluginBase::Success;
			}();
			check(done, "the graph plug-in did not start");
		}

		std::string written(const OwningDataList& data)
		{
			std::ostringstream out;
			check(QuorvaleFile::write(data.asDataList(), out), "objects read from a .qvf file could not be written");
			return out.str();
		}

		std::vector<std::string> names(const std::vector<Graph::FeatureDescriptor>& descriptors)
		{
			std::vector<std::string> all;
			for (const auto& descriptor : descriptors)
				all.push_back(descriptor.name);
			return all;
		}

		/// A graph from a data file, converted to GraphML, reads back as itself or is refused with a message.
		void checkGraphML(const Graph& graph)
		{
			Log::ScopedCapture log;
			ScratchFile file(".graphml");
			GraphMLIoAlgorithm writer(graph);
			if (!writer.saveToGraphML(graph, file.path(), nullptr))
				return check(!log->messages(Log::Error).empty(), "GraphML writing refused a graph without an error message");
			const auto again = GraphMLIoAlgorithm::loadFromGraphML(Filesystem::Path(file.path()));
			check(again != nullptr, "GraphML written for a graph of a .qvf file was refused");
			check(again->dimension() == graph.dimension() && again->type() == graph.type() && again->numNodes() == graph.numNodes() &&
			          again->numEdges() == graph.numEdges(),
			      "a graph of a .qvf file changed its shape on its way through GraphML");
			check(names(again->nodeFeatureDescriptors()) == names(graph.nodeFeatureDescriptors()) &&
			          names(again->edgeFeatureDescriptors()) == names(graph.edgeFeatureDescriptors()),
			      "a graph of a .qvf file changed its feature names on its way through GraphML");
		}

		void run(std::string_view input)
		{
			registerHandlers();
			Log::ScopedCapture log;
			std::istringstream in{std::string(input)};
			QuorvaleFile::LoadResult result = QuorvaleFile::read(in);
			if (!result.ok())
			{
				check(!log->messages(Log::Error).empty(), ".qvf file refused without an error message");
				// The intact blocks of a damaged file load, and must write and read back too.
			}
			for (const Graph* graph : DataList::getGraphs(result.data.asDataList()))
				checkGraphML(*graph);
			const std::string first = written(result.data);
			std::istringstream again(first);
			QuorvaleFile::LoadResult reread = QuorvaleFile::read(again);
			check(reread.ok(), "a .qvf file the writer made was refused");
			check(written(reread.data) == first, ".qvf objects changed on their way through writing and reading");
		}

		std::vector<std::string> seeds()
		{
			registerHandlers();
			auto graph = std::make_unique<Graph>(Graph::Type::Directed, Graph::Dimension::ThreeD);
			graph->addEdgeFeatureDescriptors({{"length", 1.0}});
			graph->addEdge(graph->addNode(Graph::NodeInfo({0, 1, 2}, {})), graph->addNode(Graph::NodeInfo({3, 4, 5}, {})),
			               Graph::EdgeInfo({2.5}));
			graph->setName("tree");
			auto voxels = TypedImage<short>::create(ImageDescriptor(ImageDescriptor::Short, {3, 2, 2}, 1, {0.5, 1, 2}));
			voxels->pointer()[5] = -7;
			auto image = std::make_unique<SharedImageSet>(std::make_unique<SharedImage>(std::move(voxels), "labels"));
			OwningDataList both;
			both.add(std::move(graph));
			both.add(std::move(image));
			return {written(both), written(OwningDataList())};
		}

		const FuzzTargetRegistration registration{{"qvf", run, seeds}};
	}
}
