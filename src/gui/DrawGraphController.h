#pragma once

#include "host/core/Signal.h"
#include "host/gui/DefaultAlgorithmController.h"
#include "host/gui/InteractiveObject.h"
#include "src/gl/GlGraph.h"
#include "src/gui/GraphManipulator.h"

#include <map>
#include <memory>
#include <string>

class QLabel;

namespace Quorvale
{
	class DrawGraphAlgorithm;
	class Graph;

	/// The panel of `DrawGraphAlgorithm`. With a selected graph it edits it at once; otherwise it shows
	/// the new graph's dimension and type with a Compute button and edits the created graph, with
	/// drawing already under way. It installs a `GraphManipulator` with the interactions "Draw",
	/// "Move Single", "Move Multiple" and "Delete Multiple" (the last two share one circle) in the
	/// first slice view (2-D graph) or the
	/// slice view group (3-D graph) of its display widget, and takes it away when it closes or the
	/// graph is deleted. While a new 2-D graph is chosen over a volume, a note says that it would not
	/// be shown there.
	class DrawGraphController : public DefaultAlgorithmController
	{
		Q_OBJECT

	public:
		explicit DrawGraphController(DrawGraphAlgorithm* algorithm, QWidget* parent = nullptr);
		/// Drops a provisional node and removes the manipulator from the views.
		~DrawGraphController() override;

		void init() override;
		/// Keeps the first graph of the output for editing with drawing active, hides the Compute button
		/// and hands back just that graph; without a graph in the output nothing is installed and the
		/// list is handed back.
		OwningDataList postprocessOutput(OwningDataList output) override;

		Graph* editedGraph() const { return m_graph; }
		/// The note on the chosen dimension (null before `init` and when editing a graph).
		QLabel* dimensionNote() const { return m_dimensionNote; }
		/// The interaction under its key, or null.
		std::shared_ptr<GraphManipulator::Interaction> interaction(const std::string& key) const;
		Interactive<GlGraph, GraphManipulator>* interactiveObject() const { return m_interactive.get(); }

	public slots:
		/// Computes; the Compute button goes away once the new graph is there.
		void onCompute() override;

	private:
		void addManipulator();
		/// Shows the dimension note iff a 2-D graph is chosen while the slice views show a volume.
		void updateDimensionNote();
		/// Takes the manipulator out of the views and forgets the graph; a graph that still exists first
		/// loses its provisional node.
		void removeManipulator(bool graphDeleted = false);

		std::map<std::string, std::shared_ptr<GraphManipulator::Interaction>> m_interactions;
		DrawGraphAlgorithm* m_algorithm;
		Graph* m_graph = nullptr;
		std::unique_ptr<Interactive<GlGraph, GraphManipulator>> m_interactive;
		SignalReceiver m_receiver;
		QLabel* m_dimensionNote = nullptr;
		SignalReceiver m_dimensionReceiver; ///< follows the chosen dimension
	};
}
