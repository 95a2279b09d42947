#include "app/AlgorithmsCommand.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/AlgorithmLookup.h"
#include "app/AlgorithmTraits.h"
#include "app/DataFiles.h"
#include "app/ParameterAssignment.h"
#include "app/ParameterHelp.h"
#include "app/ProgramContext.h"
#include "app/TextTable.h"
#include "host/core/Configurable.h"
#include "host/core/Log.h"
#include "host/lib/FactoryRegistry.h"
#include "host/lib/IoAlgorithm.h"
#include "host/lib/Mesh.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"

namespace Quorvale::AlgorithmsCommand
{
	namespace
	{
		/// The smallest graph file worth offering: two nodes joined by an edge.
		constexpr const char* kSampleGraph = R"(<?xml version="1.0" encoding="utf-8"?>
<graphml xmlns="http://graphml.graphdrawing.org/xmlns">
    <key id="x" for="node" attr.name="x" attr.type="double"/>
    <key id="y" for="node" attr.name="y" attr.type="double"/>
    <key id="z" for="node" attr.name="z" attr.type="double"/>
    <graph id="G" edgedefault="undirected">
        <node id="a"><data key="x">0</data><data key="y">0</data><data key="z">0</data></node>
        <node id="b"><data key="x">1</data><data key="y">0</data><data key="z">0</data></node>
        <edge source="a" target="b"/>
    </graph>
</graphml>
)";

		/// Data of each kind the program can make, and the selections of them offered to an algorithm.
		class TypicalSelections
		{
		public:
			struct Selection
			{
				std::string description;
				DataList data;
			};

			TypicalSelections()
			{
				auto image = TypedImage<float>::create(Eigen::Vector3i(4, 4, 4));
				m_data.push_back(std::make_unique<SharedImageSet>(std::make_unique<SharedImage>(std::move(image)), "image"));
				auto labels = TypedImage<unsigned char>::create(Eigen::Vector3i(4, 4, 4));
				labels->at(1, 1, 1) = 1;
				auto labelSet = std::make_unique<SharedImageSet>(std::make_unique<SharedImage>(std::move(labels)), "labels");
				labelSet->setModality(Data::LabelMap);
				m_data.push_back(std::move(labelSet));
				m_data.push_back(std::make_unique<Mesh>(std::vector<Eigen::Vector3d>{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
				                                        std::vector<Eigen::Vector3i>{{0, 1, 2}}, "surface"));
				Data* floats = m_data[0].get();
				Data* labelMap = m_data[1].get();
				Data* mesh = m_data[2].get();

				m_selections.push_back({"no data", DataList()});
				m_selections.push_back({"one image set", DataList{floats}});
				m_selections.push_back({"one label map (8-bit image set)", DataList{labelMap}});
				m_selections.push_back({"two image sets", DataList{floats, labelMap}});
				m_selections.push_back({"one mesh", DataList{mesh}});
				const auto graphs = sampleGraphs();
				if (graphs.size() == 2)
				{
					m_selections.push_back({"one graph", DataList{graphs[0]}});
					m_selections.push_back({"one graph and one image set", DataList{graphs[0], floats}});
					m_selections.push_back({"one graph and one label map", DataList{graphs[0], labelMap}});
					m_selections.push_back({"one graph and one mesh", DataList{graphs[0], mesh}});
					m_selections.push_back({"two graphs", DataList{graphs[0], graphs[1]}});
				}
			}

			const std::vector<Selection>& selections() const { return m_selections; }

		private:
			/// Two graphs read from a sample file, when a loaded plug-in reads GraphML; else none.
			std::vector<Data*> sampleGraphs()
			{
				namespace fs = std::filesystem;
				std::error_code error;
				std::string folder = (fs::temp_directory_path(error) / "quorvale-sample-XXXXXX").string();
				if (error || !DataFiles::formatOf("sample.graphml") || !mkdtemp(folder.data()))
					return {};
				const std::string path = folder + "/sample.graphml";
				std::ofstream(path) << kSampleGraph;
				std::vector<Data*> graphs;
				// The reader's messages are no business of a listing.
				const int level = Log::minimumLevel();
				Log::setMinimumLevel(Log::Fatal);
				try
				{
					for (int i = 0; i < 2; ++i)
						for (auto& data : DataFiles::load(path))
						{
							graphs.push_back(data.get());
							m_data.push_back(std::move(data));
						}
				}
				catch (const std::exception&)
				{
					graphs.clear();
				}
				Log::setMinimumLevel(level);
				fs::remove_all(folder, error);
				return graphs;
			}

			std::vector<std::unique_ptr<Data>> m_data;
			std::vector<Selection> m_selections;
		};

		/// ".graphml, .xml"
		std::string extensionsOf(const IoAlgorithm& io)
		{
			std::string out;
			for (const std::string& extension : io.supportedFileExtensions())
				out += (out.empty() ? "." : ", .") + extension;
			return out;
		}

		/// Prints a header and one line per algorithm (identifier, menu name, the file types of
		/// input/output algorithms) in the order the registry asks the factories and each factory
		/// registered them. Fails when a plug-in library was refused (`ProgramContext::loadPlugins` says
		/// why; the list is then incomplete) or none was found (nothing is listed).
		int listAlgorithms(ProgramContext& context)
		{
			const PluginManager::LoadResult& result = context.requirePlugins();

			std::vector<std::vector<std::string>> rows = {{"IDENTIFIER", "MENU NAME", "READS AND WRITES FILES"}};
			for (const AlgorithmFactory* factory : FactoryRegistry::get().getAlgorithmFactories())
				for (const auto* descriptor : factory->algorithmDescriptors())
				{
					std::string files = "no";
					if (descriptor->isIo)
					{
						auto algorithm = descriptor->create(DataList());
						const auto* io = dynamic_cast<const IoAlgorithm*>(algorithm.get());
						files = io ? "yes: " + extensionsOf(*io) : "yes";
					}
					rows.push_back({descriptor->id, descriptor->name, files});
				}
			std::cout << TextTable::format(rows) << '\n';
			std::cout << "\n'quorvale algorithms IDENTIFIER' describes one: its inputs and parameters.\n";
			std::cout.flush();
			return result.failures.empty() ? 0 : 1;
		}

		int describeAlgorithm(ProgramContext& context, const std::string& id)
		{
			context.requirePlugins();
			std::cout << describe(AlgorithmLookup::find(id)) << '\n';
			std::cout.flush();
			return 0;
		}
	}

	namespace
	{
		/// The selections the algorithm accepts, and an instance created on one of them (some
		/// parameters depend on the inputs), with that selection's description.
		struct Probe
		{
			std::string accepted;
			std::unique_ptr<Algorithm> instance;
			std::string instanceInput;
		};

		/// The instance shows the parameters as the fullest selection the algorithm accepts does, made
		/// on the smallest selection that shows them so: data that changes nothing in them (an image
		/// that an algorithm on one graph ignores) is left out of the heading.
		Probe probe(const AlgorithmFactory::Descriptor& descriptor, const TypicalSelections& typical)
		{
			Probe found;
			std::vector<std::pair<const TypicalSelections::Selection*, std::unique_ptr<Algorithm>>> created;
			for (const auto& selection : typical.selections())
				if (descriptor.isCompatible && descriptor.isCompatible(selection.data))
				{
					found.accepted += (found.accepted.empty() ? "" : "; ") + selection.description;
					if (auto instance = descriptor.create(selection.data))
						created.emplace_back(&selection, std::move(instance));
				}
			if (created.empty())
				return found;
			const auto size = [](const auto& entry) { return entry.first->data.size(); };
			const auto fullest = std::max_element(created.begin(), created.end(),
			                                      [&](const auto& a, const auto& b) { return size(a) < size(b); });
			const auto shown = [](const Algorithm& algorithm)
			{ return ParameterAssignment::describeParameters(algorithm, ParameterAssignment::ValueHeading::Default); };
			const std::string parameters = shown(*fullest->second);
			auto chosen = fullest;
			for (auto entry = created.begin(); entry != created.end(); ++entry)
				if (size(*entry) < size(*chosen) && shown(*entry->second) == parameters)
					chosen = entry;
			found.instance = std::move(chosen->second);
			found.instanceInput = chosen->first->description;
			return found;
		}

		/// What the algorithm takes: the program's table for the plug-in's algorithms, else what the
		/// typical selections showed.
		std::string inputsOf(const AlgorithmFactory::Descriptor& descriptor, const Probe& found)
		{
			if (std::string known = AlgorithmTraits::inputs(descriptor.id); !known.empty())
				return known;
			return found.accepted.empty() ? "none of the typical selections (image sets, label maps, meshes, graphs)" : found.accepted;
		}

		/// "Input:" and "Result:" rows.
		void describeInputAndResult(const AlgorithmFactory::Descriptor& descriptor, const Probe& found,
		                            std::vector<std::vector<std::string>>& rows)
		{
			if (const auto* io = dynamic_cast<const IoAlgorithm*>(found.instance.get()); descriptor.isIo && io)
			{
				rows.push_back({"Input:", "one " + extensionsOf(*io) + " file, read by it"});
				rows.push_back({"Result:", "what it read, written in the type of the output's extension"});
				return;
			}
			rows.push_back({"Input:", inputsOf(descriptor, found)});
			const Configurable none;
			const Configurable& settings = found.instance ? static_cast<const Configurable&>(*found.instance) : none;
			rows.push_back({"Result:", AlgorithmTraits::describeResult(descriptor.id, settings)});
		}
	}

	std::string inputs(const AlgorithmFactory::Descriptor& descriptor)
	{
		// The program's table says it without the typical selections, whose graphs are read from a file.
		if (std::string known = AlgorithmTraits::inputs(descriptor.id); !known.empty())
			return known;
		const TypicalSelections typical;
		return inputsOf(descriptor, probe(descriptor, typical));
	}

	ParameterAssignment::ListingNotes listingNotes(const std::string& id)
	{
		return {ParameterHelp::of(id), AlgorithmTraits::allowedByInputs(id)};
	}

	std::string describe(const AlgorithmFactory::Descriptor& descriptor)
	{
		std::vector<std::vector<std::string>> rows = {{"Algorithm:", descriptor.id}, {"Menu name:", descriptor.name}};
		if (const std::string does = AlgorithmTraits::summary(descriptor.id); !does.empty())
			rows.push_back({"Does:", does});
		const TypicalSelections typical;
		const Probe found = probe(descriptor, typical);
		describeInputAndResult(descriptor, found, rows);
		std::string out = TextTable::format(rows) + "\n";
		if (!found.instance)
			return out + "Parameters: unknown, as it accepts none of the typical selections";
		out += "Parameters" + (found.instanceInput == "no data" ? std::string() : " (on " + found.instanceInput + ")") +
		       "; set them with --set NAME=VALUE:\n";
		return out + ParameterAssignment::describeParameters(*found.instance, ParameterAssignment::ValueHeading::Default,
		                                                     listingNotes(descriptor.id));
	}

	void add(CLI::App& app, ProgramContext& context)
	{
		auto id = std::make_shared<std::string>();
		CLI::App* command = app.add_subcommand(
		    "algorithms", "Load the plug-ins and list their algorithms in registration order, or describe one: its inputs and parameters");
		command->add_option("ID", *id, "Identifier of the algorithm to describe (Factory.Name, or Name when only one factory has it)");
		command->callback(
		    [&context, id]
		    { context.setAction([&context, id] { return id->empty() ? listAlgorithms(context) : describeAlgorithm(context, *id); }); });
	}
}
