#pragma once

#include "host/core/Geometry/Line.h"
#include "host/core/Signal.h"
#include "host/gui/Manipulator.h"

#include <Eigen/Core>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QEvent;

namespace Quorvale
{
	class Graph;

	/// Turns mouse, wheel and key events of the views into edits of one graph by passing them to its
	/// interactions. Interactions are offered an event in the order they were added: the draw panel adds
	/// "Draw", "Move Single", "Move Multiple", "Delete Multiple", so with a node under the cursor a left
	/// press moves that node alone, elsewhere it moves the nodes inside the circle. GUI thread only.
	class GraphManipulator : public Manipulator
	{
	public:
		/// One way of editing the graph. State 0 off (receives nothing), 1 armed (offered events while
		/// no interaction is active), 2 active (receives every event until it ends).
		class Interaction : public Manipulator
		{
		public:
			enum State : uint32_t
			{
				Off = 0,
				Armed = 1,
				Active = 2
			};

			Interaction() = default;
			~Interaction() override;

			/// The same as `handleEvent`.
			bool sceneEvent(QEvent* event, const GlView& view) override { return handleEvent(event, view); }
			/// Handles an event of the view; true when it is consumed.
			virtual bool handleEvent(QEvent* event, const GlView& view) = 0;
			virtual std::string name() const = 0;
			/// Hides the interaction's marker or circle.
			virtual void hideOverlay() {}
			/// The interactions changed the graph; called before the change is announced, so that
			/// what an interaction shows of nodes that are gone goes with the repaint.
			virtual void graphEdited() {}
			/// The graph to edit (null for none); not owned.
			virtual void setGraph(Graph* graph) { m_graph = graph; }
			/// Ends what is under way so that the graph holds only what the user placed (a drawing chain
			/// drops its provisional node); the state returns to armed when it was active.
			virtual void finish();

			Graph* graph() const { return m_graph; }
			uint32_t state() const { return m_state; }
			void setState(uint32_t state) { m_state = state; }

			/// True while the manipulator announces an edit of its interactions (the graph's
			/// data-changed signal after an event): a change that is no one else's.
			bool announcingEdit() const { return m_announcingEdit; }

			/// True for mouse press, release, double click and move.
			static bool isMouseEvent(const QEvent* event);
			/// The event's window position (device pixels, y up); zero for events without one.
			static Eigen::Vector2d position(const QEvent* event);
			/// The world point under the cursor on the view's middle depth (the slice plane).
			static Eigen::Vector3d cursorPoint(const GlView& view, const Eigen::Vector2d& position);
			/// The ray of world points under the cursor, through the near and far depths of the view.
			static Geometry::Line pickRay(const GlView& view, const Eigen::Vector2d& position);
			/// World position of a graph node position, and the reverse.
			Eigen::Vector3d toWorld(const Eigen::Vector3d& local) const;
			Eigen::Vector3d toLocal(const Eigen::Vector3d& world) const;

		protected:
			/// Records that the graph was changed, for the manipulator to announce.
			void noteEdit() { m_edited = true; }

			Graph* m_graph = nullptr;
			uint32_t m_state = Armed;

		private:
			friend class GraphManipulator;

			bool m_edited = false;
			bool m_announcingEdit = false;
		};

		/// Edits `graph`, which may be deleted first (the manipulator then does nothing).
		explicit GraphManipulator(Graph& graph);
		/// Shares the interactions of `other`.
		GraphManipulator(const GraphManipulator& other);
		/// Finishes the interactions (a provisional node is dropped).
		~GraphManipulator() override;
		GraphManipulator& operator=(const GraphManipulator&) = delete;

		/// Gives the interaction the graph and adds it (once) behind the others.
		void addInteraction(std::shared_ptr<Interaction> interaction);
		const std::vector<std::shared_ptr<Interaction>>& interactions() const { return m_interactions; }

		/// Active interactions all get the event (the others' overlays are hidden) and it is consumed;
		/// otherwise armed ones are offered it in order until one consumes it. An exception out of a
		/// graph edit is logged and the event counts as consumed. When the graph was changed, its
		/// data-changed signal announces it, so every view that shows the graph repaints.
		bool sceneEvent(QEvent* event, const GlView& view) override;

		/// Finishes every interaction (before the graph is saved or an algorithm runs on it) and
		/// announces a change it made.
		void finishEditing() override;

		/// The edited graph; null once it was deleted.
		Graph* graph() const { return m_graph; }

	private:
		void follow();
		/// Emits the graph's data-changed signal when an interaction changed the graph since the last
		/// announcement; the interactions know the change for their own meanwhile.
		void announceEdits();
		bool dispatch(QEvent* event, const GlView& view);

		Graph* m_graph;
		std::vector<std::shared_ptr<Interaction>> m_interactions;
		SignalReceiver m_receiver;
	};
}
