#include "host/gui/GlView.h"

#include <Eigen/Geometry>

#include "host/core/Log.h"
#include "host/gl/ContextGuard.h"
#include "host/gl/FixedFunctionPipeline.h"
#include "host/gl/Framebuffer.h"
#include "host/gl/GlObject.h"
#include "host/gl/StateGuard.h"
#include "host/gui/ColorBarOverlay.h"
#include "host/gui/GlSlice.h"
#include "host/gui/Manipulator.h"
#include "host/lib/SharedImageSet.h"

#include <QPainter>

#include <algorithm>
#include <exception>

namespace Quorvale
{
	GlView::GlView() = default;

	GlView::~GlView()
	{
		signalAboutToBeDestroyed.emitSignal(this);
		m_overlays.clear();
	}

	void GlView::addObject(GlObject* object)
	{
		if (object && !hasObject(object))
			m_objects.push_back(object);
	}

	void GlView::removeObject(GlObject* object) { m_objects.erase(std::remove(m_objects.begin(), m_objects.end(), object), m_objects.end()); }

	bool GlView::hasObject(const GlObject* object) const { return std::find(m_objects.begin(), m_objects.end(), object) != m_objects.end(); }

	void GlView::addManipulator(Manipulator* manipulator)
	{
		if (manipulator && std::find(m_manipulators.begin(), m_manipulators.end(), manipulator) == m_manipulators.end())
			m_manipulators.push_back(manipulator);
	}

	void GlView::removeManipulator(Manipulator* manipulator)
	{
		m_manipulators.erase(std::remove(m_manipulators.begin(), m_manipulators.end(), manipulator), m_manipulators.end());
	}

	bool GlView::sceneEvent(QEvent* event)
	{
		// A manipulator may remove itself (or others) while it handles the event.
		for (Manipulator* manipulator : std::vector<Manipulator*>(m_manipulators))
		{
			if (std::find(m_manipulators.begin(), m_manipulators.end(), manipulator) == m_manipulators.end())
				continue;
			try
			{
				if (manipulator->handleInputEvent(event, *this))
					return true;
			}
			catch (const std::exception& e)
			{
				Log::error(std::string("Handling an input event failed: ") + e.what());
			}
		}
		return false;
	}

	void GlView::setViewport(int width, int height) { m_viewState = computeViewState(std::max(width, 1), std::max(height, 1)); }

	void GlView::addOverlay(std::unique_ptr<GUI::ColorBarOverlay> overlay, int anchor, int index)
	{
		if (!overlay)
			return;
		Overlay entry{std::move(overlay), anchor};
		if (index < 0 || index >= static_cast<int>(m_overlays.size()))
			m_overlays.push_back(std::move(entry));
		else
			m_overlays.insert(m_overlays.begin() + index, std::move(entry));
	}

	void GlView::removeOverlay(const GUI::ColorBarOverlay* overlay)
	{
		m_overlays.erase(std::remove_if(m_overlays.begin(), m_overlays.end(), [overlay](const Overlay& o) { return o.overlay.get() == overlay; }),
		                 m_overlays.end());
	}

	void GlView::setImage(SharedImageSet* image)
	{
		m_receiver.disconnectAll();
		m_image = image;
		if (image)
			image->signalDeleted.connect(&m_receiver, [this](Data*) { setImage(nullptr); });
		resetCamera();
	}

	Geometry::AlignedBox GlView::sceneBounds() const
	{
		Geometry::AlignedBox box;
		box.addBox(GlSlice::boundsOf(m_image));
		for (const GlObject* object : m_objects)
		{
			const Geometry::AlignedBox b = object->bounds();
			if (b.isEmpty())
				continue;
			// The corners of the object's box in world coordinates.
			for (int corner = 0; corner < 8; ++corner)
			{
				const Eigen::Vector3d p((corner & 1) ? b.max().x() : b.min().x(), (corner & 2) ? b.max().y() : b.min().y(),
				                        (corner & 4) ? b.max().z() : b.min().z());
				box.addPoint((object->matrix() * p.homogeneous()).head<3>());
			}
		}
		return box;
	}

	QImage GlView::render(int width, int height, double scale)
	{
		width = std::max(width, 1);
		height = std::max(height, 1);
		m_complete = true;
		GL::ContextGuard guard;
		if (!guard)
			return {};
		if (!m_framebuffer)
			m_framebuffer = std::make_unique<GL::Framebuffer>();
		QImage image;
		try
		{
			GL::StateGuard state;
			m_framebuffer->begin(width, height, background());
			m_viewState = computeViewState(width, height);
			// The image lies under everything: it writes no depth, so objects are never hidden by it.
			GL::setDepthTest(false);
			drawBackground();
			GL::setDepthTest(depthTest());
			drawObjects();
			const std::vector<std::uint8_t> pixels = m_framebuffer->readPixels();
			m_framebuffer->end();
			image = QImage(pixels.data(), width, height, width * 4, QImage::Format_RGBA8888).copy();
		}
		catch (const std::exception& e)
		{
			Log::error(std::string("Rendering a view failed: ") + e.what());
			// An object's clip plane must not stay with the pipeline for the next view.
			GL::FixedFunctionPipeline::instance().setClipPlane(Eigen::Vector4d::Zero());
			m_framebuffer->end();
			return {};
		}
		// The framebuffer is opaque; what a view shows is its colour.
		image = image.convertToFormat(QImage::Format_RGB32);
		QPainter painter(&image);
		for (const Overlay& entry : m_overlays)
			entry.overlay->paint(painter, image.rect(), entry.anchor, scale);
		annotate(painter, image.rect(), scale);
		return image;
	}

	void GlView::drawObjects()
	{
		auto& pipeline = GL::FixedFunctionPipeline::instance();
		for (GlObject* object : std::vector<GlObject*>(m_objects))
			if (object->visible() && !object->clippedAway())
			{
				pipeline.setClipPlane(object->clipPlane());
				object->draw(*this);
			}
		pipeline.setClipPlane(Eigen::Vector4d::Zero());
	}

	bool GlView::mouseDrag(const QPoint&, const QPoint&, Qt::MouseButtons) { return false; }

	bool GlView::wheel(double, Qt::KeyboardModifiers) { return false; }

	bool GlView::key(int, Qt::KeyboardModifiers) { return false; }

	void GlView::annotate(QPainter&, const QRect&, double) const {}
}
