#pragma once

#include "src/gui/SingleSelection.h"

namespace Quorvale
{
	/// "Move Single": a left press on a node takes it along with the cursor until the release.
	class MoveNodeInteraction : public SingleSelection
	{
	public:
		/// Shows its overlay in the views of `display` (may be null).
		using SingleSelection::SingleSelection;

		bool handleEvent(QEvent* event, const GlView& view) override;
		std::string name() const override { return "Move Single"; }

	private:
		uint64_t m_node = 0;
	};
}
