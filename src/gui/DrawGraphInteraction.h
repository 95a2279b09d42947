#pragma once

#include "host/core/Signal.h"
#include "src/gui/SingleSelection.h"

namespace Quorvale
{
	/// "Draw": a middle press on a node starts a chain there; each left press adds a node joined to the
	/// previous one, a right press adds the last node and ends the chain. While drawing, a provisional
	/// node joined to the last one follows the cursor.
	class DrawGraphInteraction : public SingleSelection
	{
	public:
		/// Shows its overlay in the views of `display` (may be null).
		using SingleSelection::SingleSelection;

		bool handleEvent(QEvent* event, const GlView& view) override;
		std::string name() const override { return "Draw"; }
		/// Follows the graph's outside changes: a change (a renumbering, an algorithm run) ends the chain;
		/// the edits of the manipulator's own interactions do not.
		void setGraph(Graph* graph) override;
		/// Drops the provisional node with its edge and ends the chain.
		void finish() override;

		uint64_t lastNode() const { return m_lastNode; }
		const std::optional<uint64_t>& provisionalNode() const { return m_provisional; }

	private:
		/// Removes the provisional node (when it is still there).
		void dropProvisional();

		uint64_t m_lastNode = 0;
		std::optional<uint64_t> m_provisional;
		SignalReceiver m_receiver;
	};
}
