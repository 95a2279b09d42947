#pragma once

#include "host/core/Filesystem.h"
#include "host/core/Parameter.h"
#include "host/lib/IoAlgorithm.h"

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace Quorvale
{
	class Graph;
	class Progress;

	/// Reads a GraphML file into a new graph (GraphMLReader), or writes a graph to one. The writer
	/// writes numbers only: node positions (in world coordinates) and the node and edge features, all
	/// as doubles; node and edge attributes are not written. Failures are logged and leave status 1.
	class GraphMLIoAlgorithm : public IoAlgorithm
	{
	public:
		/// The writing instance: saves `graph`, which must outlive the algorithm.
		explicit GraphMLIoAlgorithm(const Graph& graph);
		/// The reading instance.
		GraphMLIoAlgorithm();
		~GraphMLIoAlgorithm() override;

		/// An empty selection gives a reader, a selection of exactly one graph a writer for it;
		/// anything else is refused. Stores the new algorithm in `*out` when `out` is given.
		static bool createCompatible(const DataList& data, Algorithm** out);

		/// The single entry "graphml".
		std::vector<std::string> supportedFileExtensions() const override;
		/// Writes the graph to, or reads a graph from, `location()`; status 0 on success, 1 otherwise.
		void compute() override;
		/// Hands over the graph the last read produced (nothing after a failed read or a write).
		OwningDataList takeOutput() override;

		/// Writes `graph` as GraphML to `path`. The file is replaced only when the whole document was
		/// written; on failure an existing file stays as it was. Refused before anything is written:
		/// a graph that would not read back the same, for a feature name that is empty, not UTF-8 or
		/// holds a character XML cannot carry (FeatureNames), a node feature named x, y or z, two
		/// features of one kind with the same name, or a node whose world position is not finite.
		/// `progress` is not used.
		bool saveToGraphML(const Graph& graph, const std::string& path, Progress* progress) const;
		/// Reads the GraphML file at `path` (GraphMLReader); null (with an error logged) when it cannot
		/// be read, null without a message when there is no file.
		static std::unique_ptr<Graph> loadFromGraphML(const Filesystem::Path& path);
		/// Reads a GraphML document from `in` (GraphMLReader); null with an error logged when it cannot be read.
		static std::unique_ptr<Graph> loadFromGraphML(std::istream& in);

		/// When false, the writer leaves out all feature keys and feature data.
		Parameter<bool> exportFeatures{"exportFeatures", true, this};

	private:
		void setupParameters();

		std::unique_ptr<Graph> m_loadedGraph;
		const Graph* m_graphToSave = nullptr;
	};
}
