#pragma once

#include "host/core/Geometry/AlignedBox.h"
#include "host/core/Signal.h"
#include "host/gl/ViewState.h"

#include <QImage>
#include <QPoint>

#include <memory>
#include <vector>

class QEvent;
class QPainter;
class QRect;

namespace Quorvale
{
	class GlObject;
	class Manipulator;
	class SharedImageSet;

	namespace GL
	{
		class Framebuffer;
	}

	namespace GUI
	{
		class ColorBarOverlay;
	}

	/// One view of the scene: a camera, the drawable objects (not owned) and overlays (owned). It renders
	/// into a framebuffer on the host's GL context and hands back the image; a widget shows it
	/// (`GUI::View`). All calls on the GUI thread.
	class GlView
	{
	public:
		/// What the view shows; objects decide by it what to draw.
		enum Kind : int
		{
			/// A slice of a planar image (or of nothing planar).
			Planar = 0,
			/// A slice through a volume.
			VolumeSlice = 1,
			/// The 3-D view.
			Volume = 2
		};

		GlView();
		virtual ~GlView();
		GlView(const GlView&) = delete;
		GlView& operator=(const GlView&) = delete;

		virtual int kind() const = 0;

		/// Adds an object (once); it must be removed before it is deleted.
		void addObject(GlObject* object);
		void removeObject(GlObject* object);
		bool hasObject(const GlObject* object) const;
		const std::vector<GlObject*>& objects() const { return m_objects; }

		/// Adds a manipulator (once, not owned) that is offered this view's input events; it must be
		/// removed before it is deleted.
		void addManipulator(Manipulator* manipulator);
		void removeManipulator(Manipulator* manipulator);
		const std::vector<Manipulator*>& manipulators() const { return m_manipulators; }
		/// Offers an input event to the manipulators in the order they were added until one consumes it
		/// (true). Positions are window coordinates of `viewState` (device pixels, y up). An exception
		/// out of a manipulator is logged and counts as not consumed.
		bool sceneEvent(QEvent* event);

		/// Takes an overlay painted at `anchor` (see `GUI::ColorBarOverlay::rectIn`); `index` -1 appends.
		void addOverlay(std::unique_ptr<GUI::ColorBarOverlay> overlay, int anchor, int index = -1);
		/// Removes and deletes an overlay of this view (nothing for another).
		void removeOverlay(const GUI::ColorBarOverlay* overlay);
		int overlayCount() const { return static_cast<int>(m_overlays.size()); }

		/// The image shown under the objects (not owned; null for none).
		virtual void setImage(SharedImageSet* image);
		SharedImageSet* image() const { return m_image; }

		/// The camera of the last render (or of the given size when none happened yet).
		const GL::ViewState& viewState() const { return m_viewState; }
		/// Sets the camera for a viewport of that size without rendering, so that input arriving
		/// between renders (or before the first) meets the camera the user sees.
		void setViewport(int width, int height);

		/// Renders the scene at `width` x `height` device pixels; an image with the overlays painted at
		/// `scale` device pixels per logical pixel. Null image when there is no GL context.
		QImage render(int width, int height, double scale = 1.0);
		/// False when the last render left out something still being prepared (the slice of a large
		/// volume): render again shortly.
		bool isComplete() const { return m_complete; }

		/// Input that no manipulator consumed; true when the view changed and wants a repaint. Drags go
		/// between widget positions in device pixels (y down); the wheel turns by `degrees` (positive
		/// away from the user) with the keys `modifiers` held; `key` is a `Qt::Key`.
		virtual bool mouseDrag(const QPoint& from, const QPoint& to, Qt::MouseButtons buttons);
		virtual bool wheel(double degrees, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
		virtual bool key(int key, Qt::KeyboardModifiers modifiers);
		/// Returns the camera to its start.
		virtual void resetCamera() {}

		/// World box of the image and the objects (what the camera frames).
		Geometry::AlignedBox sceneBounds() const;

		/// Emitted first in the destructor.
		Signal<GlView*> signalAboutToBeDestroyed;

	protected:
		/// The camera for a viewport of that size.
		virtual GL::ViewState computeViewState(int width, int height) const = 0;
		/// Draws what lies under the objects (slices of the image); the view state is set.
		virtual void drawBackground() {}
		/// Whether objects draw with depth testing.
		virtual bool depthTest() const = 0;
		/// Marks the render under way as leaving something out (see `isComplete`).
		void setIncomplete() { m_complete = false; }
		/// What is left where nothing is drawn.
		virtual Eigen::Vector4f background() const { return {0.f, 0.f, 0.f, 1.f}; }
		/// Paints what the view says about itself over the rendered image (`scale` device pixels per
		/// logical pixel), after the overlays.
		virtual void annotate(QPainter& painter, const QRect& rect, double scale) const;

	private:
		/// Draws each visible object with its clip plane, leaving out those it clips away wholly.
		void drawObjects();

		struct Overlay
		{
			std::unique_ptr<GUI::ColorBarOverlay> overlay;
			int anchor;
		};

		std::vector<GlObject*> m_objects;
		std::vector<Manipulator*> m_manipulators;
		std::vector<Overlay> m_overlays;
		SharedImageSet* m_image = nullptr;
		SignalReceiver m_receiver;
		std::unique_ptr<GL::Framebuffer> m_framebuffer;
		GL::ViewState m_viewState;
		bool m_complete = true;
	};
}
