#pragma once

namespace Quorvale
{
	/// Draws a `Graph` in the host's views. Its per-graph display settings, `GlGraph::DisplayOptions`,
	/// are a component of every graph (see src/graph/GlGraphDisplayOptions.h), so that they exist and
	/// are saved with the graph even where nothing is drawn.
	class GlGraph
	{
	public:
		class DisplayOptions;
	};
}
