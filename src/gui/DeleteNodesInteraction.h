#pragma once

#include "src/gui/NodesWithinRadiusInteraction.h"

namespace Quorvale
{
	/// "Delete": the Delete key removes the nodes inside the circle at the last mouse event.
	class DeleteNodesInteraction : public NodesWithinRadiusInteraction
	{
	public:
		/// Shows its overlay in the views of `display` (may be null).
		using NodesWithinRadiusInteraction::NodesWithinRadiusInteraction;

		bool handleEvent(QEvent* event, const GlView& view) override;
		std::string name() const override { return "Delete"; }

	private:
		std::vector<uint64_t> m_toDelete;
	};
}
