#pragma once

#include "src/gui/NodesWithinRadiusInteraction.h"

namespace Quorvale
{
	/// "Delete": the Delete key removes the nodes inside the circle where it was placed last (by the
	/// cursor or by a change of its radius).
	class DeleteNodesInteraction : public NodesWithinRadiusInteraction
	{
	public:
		/// With a circle of its own, or one shared with other radius interactions.
		using NodesWithinRadiusInteraction::NodesWithinRadiusInteraction;

		bool handleEvent(QEvent* event, const GlView& view) override;
		std::string name() const override { return "Delete"; }
	};
}
