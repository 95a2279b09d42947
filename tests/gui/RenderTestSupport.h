#pragma once

#include "host/gui/GlView.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "src/graph/GlGraphDisplayOptions.h"
#include "src/graph/Graph.h"
#include "tests/gl/GlTestSupport.h"

#include <QColor>
#include <QImage>

#include <cmath>
#include <memory>

/// Renders views and reads pixels at the window positions of world points.
namespace RenderTest
{
	constexpr int Size = 400;

	struct Frame
	{
		QImage image;
		Quorvale::GL::ViewState viewState;

		/// The pixel at the projection of a world point (offset in pixels, +y up).
		QColor at(const Eigen::Vector3d& world, int dx = 0, int dy = 0) const
		{
			const Eigen::Vector3d w = viewState.project(world);
			const int x = static_cast<int>(std::floor(w.x())) + dx;
			const int y = image.height() - 1 - static_cast<int>(std::floor(w.y())) - dy;
			return image.pixelColor(std::clamp(x, 0, image.width() - 1), std::clamp(y, 0, image.height() - 1));
		}
	};

	inline Frame render(Quorvale::GlView& view)
	{
		Frame frame;
		frame.image = view.render(Size, Size);
		frame.viewState = view.viewState();
		return frame;
	}

	/// True when the colour is within `tolerance` (0..255) of the RGB of `rgba`.
	inline bool near(const QColor& c, const Eigen::Vector4f& rgba, int tolerance = 12)
	{
		return std::abs(c.red() - static_cast<int>(std::lround(255 * rgba[0]))) <= tolerance &&
		       std::abs(c.green() - static_cast<int>(std::lround(255 * rgba[1]))) <= tolerance &&
		       std::abs(c.blue() - static_cast<int>(std::lround(255 * rgba[2]))) <= tolerance;
	}

	inline const Eigen::Vector4f Red(1, 0, 0, 1), Green(0, 1, 0, 1), Blue(0, 0, 1, 1), Black(0, 0, 0, 1);

	/// Counts pixels of roughly the colour.
	inline int count(const QImage& image, const Eigen::Vector4f& rgba)
	{
		int n = 0;
		for (int y = 0; y < image.height(); ++y)
			for (int x = 0; x < image.width(); ++x)
				n += near(image.pixelColor(x, y), rgba, 40) ? 1 : 0;
		return n;
	}

	/// A graph A(0,0,0) - B(10,0,0) - C(10,10,0) with the edge feature "diameter" 4 and 1.
	inline std::unique_ptr<Quorvale::Graph> corner(Quorvale::Graph::Dimension dimension = Quorvale::Graph::Dimension::ThreeD,
	                                               Quorvale::Graph::Type type = Quorvale::Graph::Type::Undirected)
	{
		using namespace Quorvale;
		auto graph = std::make_unique<Graph>(type, dimension);
		const uint64_t a = graph->addNode(Graph::NodeInfo(Eigen::Vector3d(0, 0, 0), {}));
		const uint64_t b = graph->addNode(Graph::NodeInfo(Eigen::Vector3d(10, 0, 0), {}));
		const uint64_t c = graph->addNode(Graph::NodeInfo(Eigen::Vector3d(10, 10, 0), {}));
		graph->addEdge(a, b, Graph::EdgeInfo({4.0}));
		graph->addEdge(b, c, Graph::EdgeInfo({1.0}));
		return graph;
	}

	inline Quorvale::GlGraph::DisplayOptions& options(Quorvale::Graph& graph)
	{
		return *graph.components().getOrCreate<Quorvale::GlGraph::DisplayOptions>();
	}

	/// An image set of one planar (depth 1) or volume image of zeros.
	inline std::unique_ptr<Quorvale::SharedImageSet> image(const Eigen::Vector3i& dimensions)
	{
		using namespace Quorvale;
		std::shared_ptr<MemImage> mem = TypedImage<unsigned char>::create(dimensions);
		return std::make_unique<SharedImageSet>(std::make_unique<SharedImage>(mem));
	}
}
