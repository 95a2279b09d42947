#pragma once

#include "src/gui/NodesWithinRadiusInteraction.h"

namespace Quorvale
{
	/// "Move Multiple": a left press takes the nodes inside the circle along with the cursor until the
	/// release, keeping their offsets.
	class MoveNodesInteraction : public NodesWithinRadiusInteraction
	{
	public:
		/// With a circle of its own, or one shared with other radius interactions.
		using NodesWithinRadiusInteraction::NodesWithinRadiusInteraction;

		bool handleEvent(QEvent* event, const GlView& view) override;
		std::string name() const override { return "Move Multiple"; }

	private:
		Eigen::Vector3d m_pressPoint = Eigen::Vector3d::Zero();
		std::vector<uint64_t> m_moving;
		std::vector<Eigen::Vector3d> m_startPositions;
	};
}
