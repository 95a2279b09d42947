#pragma once

#include "host/core/Parameter.h"
#include "host/lib/Algorithm.h"
#include "src/graph/Graph.h"

#include <memory>

namespace Quorvale
{
	/// Holds the graph that is drawn by hand: an existing graph to edit, or a new empty one that
	/// `compute` creates. The editing itself is done by the panel's `GraphManipulator`.
	class DrawGraphAlgorithm : public Algorithm
	{
	public:
		/// Edits `graph` (not owned, may be null: a new graph is created by `compute`).
		explicit DrawGraphAlgorithm(Graph* graph);
		~DrawGraphAlgorithm() override;

		/// True for an empty list (a new graph) and for one graph; with `out`, stores a new algorithm there.
		static bool createCompatible(const DataList& data, Algorithm** out);

		/// Without a graph to edit, replaces the created graph by a new empty one of the chosen type
		/// and dimension. Status 0: nothing here can fail.
		void compute() override;
		/// The created graph, given up; an empty list when there is none.
		OwningDataList takeOutput() override;

		Graph* edittedGraph() const { return m_edited; }
		/// True when the algorithm creates its graph rather than editing one.
		bool ownsGraph() const { return m_edited == nullptr; }

		Parameter<Graph::Dimension> dimensions{"dimensions", Graph::Dimension::TwoD, this};
		Parameter<Graph::Type> type{"type", Graph::Type::Undirected, this};

	private:
		std::unique_ptr<Graph> m_created;
		Graph* m_edited;
	};
}
