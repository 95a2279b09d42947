#include "src/gl/GlGraph.h"

#include "host/core/Log.h"
#include "host/gl/ContextGuard.h"
#include "host/gl/FixedFunctionPipeline.h"
#include "host/gl/StateGuard.h"
#include "host/gl/TextRenderer.h"
#include "host/gl/VertexBuffer.h"
#include "host/gui/GlView.h"
#include "src/graph/GlGraphDisplayOptions.h"
#include "src/graph/Graph.h"
#include "src/graph/GraphUtils.h"
#include "src/gui/GraphDataController.h"

#include <GL/gl.h>

#include <fmt/format.h>

#include <Eigen/Geometry>

#include <algorithm>
#include <cmath>
#include <set>
#include <unordered_set>
#include <utility>

namespace Quorvale
{
	namespace
	{
		using Options = GlGraph::DisplayOptions;
		using ScalingMode = Options::FeatureCircleOptions::ScalingMode;
		constexpr unsigned int StaticDraw = 35044;
		constexpr int CircleVertices = 40;

		Eigen::Vector4f toFloat(const Eigen::Vector4d& color) { return color.cast<float>(); }

		/// The colour stored in a record's "color" attribute, else `fallback`.
		Eigen::Vector4f attributeColor(const Properties& attributes, const Eigen::Vector4d& fallback)
		{
			if (const auto color = attributes.param<Eigen::Vector4d>("color"))
				return toFloat(*color);
			return toFloat(fallback);
		}

		Eigen::Vector3d flattened(Eigen::Vector3d p, bool planar)
		{
			if (planar)
				p.z() = 0.0;
			return p;
		}

		std::optional<int> nodeFeatureIndex(const Graph& graph, const std::string& name)
		{
			const auto& d = graph.nodeFeatureDescriptors();
			for (size_t i = 0; i < d.size(); ++i)
				if (d[i].name == name)
					return static_cast<int>(i);
			return std::nullopt;
		}

		/// A unit vector perpendicular to `n`, or zero for a zero `n`.
		Eigen::Vector3d firstAxis(const Eigen::Vector3d& n)
		{
			Eigen::Vector3d u = Eigen::Vector3d::Zero();
			if (n.z() != 0.0)
				u = Eigen::Vector3d(1.0, -1.0, (n.y() - n.x()) / n.z());
			else if (n.y() != 0.0)
				u = Eigen::Vector3d(-1.0, (n.x() + n.z()) / n.y(), -1.0);
			else if (n.x() != 0.0)
				u = Eigen::Vector3d((n.y() + n.z()) / n.x(), -1.0, -1.0);
			return u.squaredNorm() > 0.0 ? u.normalized() : u;
		}

		Eigen::Vector3d normalizedOrZero(const Eigen::Vector3d& v) { return v.squaredNorm() > 0.0 ? v.normalized() : v; }
	}

	GlGraph::GlGraph()
	    : m_lines(std::make_unique<GL::VertexBuffer>(StaticDraw))
	    , m_points(std::make_unique<GL::VertexBuffer>(StaticDraw))
	    , m_circle(createCircleBuffer())
	{
	}

	GlGraph::GlGraph(const Graph* graph)
	    : GlGraph()
	{
		setGraph(graph);
	}

	GlGraph::~GlGraph()
	{
		m_circle.reset();
		m_points.reset();
		m_lines.reset();
	}

	std::unique_ptr<GL::VertexBuffer> GlGraph::createCircleBuffer()
	{
		auto buffer = std::make_unique<GL::VertexBuffer>(StaticDraw);
		std::vector<Eigen::Vector3d> positions;
		for (int i = 0; i < CircleVertices; ++i)
		{
			const auto a = static_cast<float>(i * 2.0 * 3.14159265358979323846 / CircleVertices);
			positions.emplace_back(static_cast<double>(std::cos(a)), static_cast<double>(std::sin(a)), 0.0);
		}
		// Uploaded at the first draw, where a context is certain.
		buffer->upload(positions, {}, {});
		return buffer;
	}

	void GlGraph::setGraph(const Graph* graph)
	{
		if (graph == m_graph)
			return;
		// Signals of a const graph still reach their receivers; connecting changes no graph data.
		if (m_graph)
		{
			const_cast<Graph*>(m_graph)->signalMatrixChanged.disconnect(this);
			const_cast<Graph*>(m_graph)->signalDeleted.disconnect(this);
		}
		m_graph = graph;
		if (!graph)
			return;
		GlObject::setMatrix(graph->matrixToWorld());
		auto* mutableGraph = const_cast<Graph*>(graph);
		mutableGraph->signalMatrixChanged.connect(this, [this] { GlObject::setMatrix(m_graph->matrixToWorld()); });
		mutableGraph->signalDeleted.connect(this, [this](Data*) { setGraph(nullptr); });
	}

	Geometry::AlignedBox GlGraph::bounds() const { return m_graph ? m_graph->bounds() : Geometry::AlignedBox(); }

	bool GlGraph::isChainInteriorNode(uint64_t id, const Graph& graph)
	{
		int others = 0;
		for (const auto& entry : graph.neighborhood(id))
			others += entry.first != id ? 1 : 0;
		return others == 2;
	}

	namespace
	{
		/// The two strokes of the arrowhead at `b` of the edge from `a`, in the colour `color`.
		void appendArrowhead(GlGraph::LineVertices& out, const Eigen::Vector3d& a, const Eigen::Vector3d& b, const Eigen::Vector3d& zDir,
		                     const Eigen::Vector4f& color)
		{
			const Eigen::Vector3d p = 0.2 * zDir.cross(a - b);
			const Eigen::Vector3d d = b - a;
			for (const Eigen::Vector3d& q : {b, Eigen::Vector3d(b + p - 0.3 * d), b, Eigen::Vector3d(b - p - 0.3 * d)})
			{
				out.positions.push_back(q);
				out.colors.push_back(color);
			}
		}
	}

	GlGraph::LineVertices GlGraph::buildLineVertices(const Graph& graph, const Eigen::Vector3d& zDir)
	{
		LineVertices out;
		const auto* options = graph.components().get<Options>();
		if (!options)
			return out;
		const auto& general = options->generalOptions.value();
		const auto& colorMap = options->featureColorMapOptions.value();
		const bool arrows = general.drawDirectionOnLines.value() && graph.type() == Graph::Type::Directed;
		const bool planar = graph.dimension() == Graph::Dimension::TwoD;

		std::optional<int> edgeFeature, nodeFeature;
		if (const auto& name = colorMap.edgeFeatureName.value())
			edgeFeature = graph.getEdgeFeatureIdx(*name);
		else if (const auto& node = colorMap.nodeFeatureName.value())
			nodeFeature = nodeFeatureIndex(graph, *node);
		// The colour table is a component kept on the graph; making it changes nothing the graph stores.
		const GraphDataController::FeatureColorMapper* mapper =
		    edgeFeature || nodeFeature ? &GraphDataController::colorMapper(const_cast<Graph&>(graph)) : nullptr;

		const size_t perEdge = arrows ? 6 : 2;
		out.positions.reserve(static_cast<size_t>(graph.numEdges()) * perEdge);
		out.colors.reserve(static_cast<size_t>(graph.numEdges()) * perEdge);
		const Eigen::Vector4d lineColor = general.lineColor.value();
		graph.forEachEdge(
		    [&](const Graph::EdgeInfo& edge, uint64_t, const Graph::NodeInfo& a, uint64_t, const Graph::NodeInfo& b)
		    {
			    Eigen::Vector4f ca, cb;
			    if (edgeFeature)
				    ca = cb = mapper->colorFor(edge.features().at(static_cast<size_t>(*edgeFeature)));
			    else if (nodeFeature)
			    {
				    ca = mapper->colorFor(a.features().at(static_cast<size_t>(*nodeFeature)));
				    cb = mapper->colorFor(b.features().at(static_cast<size_t>(*nodeFeature)));
			    }
			    else
				    ca = cb = attributeColor(edge.attributes(), lineColor);
			    out.positions.push_back(flattened(a.position(), planar));
			    out.colors.push_back(ca);
			    out.positions.push_back(flattened(b.position(), planar));
			    out.colors.push_back(cb);
			    if (arrows)
				    appendArrowhead(out, a.position(), b.position(), zDir, cb);
		    });
		return out;
	}

	namespace
	{
		/// The record of a chain through `points` with the reduced value `value`:
		/// centred on its middle point (or between its two middle points), along the chain there.
		GlGraph::ChainRecord chainRecord(const std::vector<Eigen::Vector3d>& points, double value)
		{
			GlGraph::ChainRecord record{Eigen::Vector3d::Zero(), value, Eigen::Vector3d::Zero()};
			const size_t m = points.size(), h = m / 2;
			if (m % 2 == 1)
			{
				record.centre = points[h];
				if (h != 0 && h != m - 1)
					record.direction = points[h + 1] - points[h - 1];
			}
			else
			{
				record.centre = (points[h - 1] + points[h]) / 2.0;
				record.direction = m == 2 ? Eigen::Vector3d(points[1] - points[0]) : Eigen::Vector3d(points[h] - points[h - 1]);
			}
			record.direction = normalizedOrZero(record.direction);
			return record;
		}
	}

	std::vector<GlGraph::ChainRecord> GlGraph::reduceLinearChains(const Graph& graph,
	                                                               const std::function<double(const std::vector<double>&)>& reduction, int feature)
	{
		std::vector<ChainRecord> records;
		if (feature < 0 || feature >= graph.numEdgeFeatures())
			return records;
		// Each chain is walked on its own, so its points run from one of its ends to the other.
		std::set<std::pair<uint64_t, uint64_t>> walkedEdges;
		std::unordered_set<uint64_t> chainNodes;
		const auto walk = [&](uint64_t start, uint64_t next)
		{
			std::vector<uint64_t> path;
			const std::vector<double> values = GraphUtils::collectLinearPathFeatures(graph, start, next, feature, path);
			if (values.empty() || walkedEdges.count({path[0], path[1]}) != 0)
				return;
			std::vector<Eigen::Vector3d> points;
			for (size_t i = 0; i < path.size(); ++i)
			{
				points.push_back(graph.node(path[i]).position());
				chainNodes.insert(path[i]);
				if (i + 1 < path.size())
				{
					walkedEdges.emplace(path[i], path[i + 1]);
					walkedEdges.emplace(path[i + 1], path[i]);
				}
			}
			records.push_back(chainRecord(points, reduction(values)));
		};
		// Chains end at nodes with other than two neighbour entries; closed chains have no such node.
		graph.forEachNode(
		    [&](uint64_t id, const Graph::NodeInfo&, const Graph::Neighborhood& neighbors)
		    {
			    if (neighbors.size() != 2)
				    for (const auto& [neighbor, edge] : neighbors)
					    if (edge && neighbor != id && walkedEdges.count({id, neighbor}) == 0)
						    walk(id, neighbor);
		    });
		graph.forEachNode(
		    [&](uint64_t id, const Graph::NodeInfo&, const Graph::Neighborhood& neighbors)
		    {
			    if (neighbors.size() == 2 && chainNodes.count(id) == 0)
				    walk(id, neighbors.begin()->first);
		    });
		return records;
	}

	double GlGraph::circleScale(const Graph& graph)
	{
		double scale = 0.0;
		if (const auto diameter = graph.getEdgeFeatureIdx("diameter"))
		{
			double largest = 0.0;
			graph.forEachEdge(
			    [&](const Graph::EdgeInfo& edge, uint64_t, uint64_t)
			    {
				    const double v = edge.features().at(static_cast<size_t>(*diameter));
				    if (std::isfinite(v))
					    largest = std::max(largest, v);
			    });
			scale = 0.5 * largest;
		}
		const Geometry::AlignedBox box = graph.bounds();
		const double edges = std::max(graph.numEdges(), 1);
		if (!(scale > 0.0) && !box.isEmpty())
		{
			// The edge's share of the bounding volume; for planar or straight bounds, of the area or length.
			Eigen::Vector3d size = box.size();
			std::sort(size.data(), size.data() + 3);
			if (size[0] > 0.0)
				scale = std::cbrt(size.prod() / edges);
			else if (size[1] > 0.0)
				scale = std::sqrt(size[1] * size[2] / edges);
			else
				scale = size[2] / edges;
		}
		return scale > 0.0 && std::isfinite(scale) ? scale : 1.0;
	}

	namespace
	{
		/// Centre, normal and feature value of every circle, before scaling.
		struct CircleSamples
		{
			std::vector<Eigen::Vector3d> points;
			std::vector<Eigen::Vector3d> normals;
			std::vector<double> values;
		};

		/// One circle per edge (self-loops left out) at its midpoint, in the plane across it.
		CircleSamples edgeCircles(const Graph& graph, std::size_t f, bool planar)
		{
			CircleSamples samples;
			graph.forEachEdge(
			    [&](const Graph::EdgeInfo& edge, uint64_t ia, const Graph::NodeInfo& a, uint64_t ib, const Graph::NodeInfo& b)
			    {
				    if (ia == ib)
					    return;
				    samples.points.push_back(flattened((a.position() + b.position()) / 2.0, planar));
				    samples.values.push_back(edge.features().at(f));
				    samples.normals.push_back(normalizedOrZero(b.position() - a.position()));
			    });
			return samples;
		}

		/// The circle's diameter for `value` in `mode`, `max` the largest value; never NaN or infinite.
		float circleSize(double value, ScalingMode mode, double max, double scale)
		{
			double size = value;
			if (mode == ScalingMode::RescaledMax && max != 0.0)
				size = value * scale / max;
			else if (mode == ScalingMode::Logarithmic)
				// Without a positive maximum there is nothing to compare with: every circle takes the scale.
				size = max > 0.0 ? std::log1p(value) / std::log1p(max) * scale : scale;
			// No NaN or infinity reaches GL: such a circle collapses to its centre.
			return std::isfinite(size) ? static_cast<float>(size) : 0.f;
		}

		/// The unit circle's transform to a circle of `diameter` around `point` across `normal`.
		Eigen::Matrix4d circleTransform(const Eigen::Vector3d& point, const Eigen::Vector3d& normal, float diameter)
		{
			const double r = 0.5 * static_cast<double>(diameter);
			const Eigen::Vector3d u = firstAxis(normal);
			const Eigen::Vector3d w = u.cross(normal);
			Eigen::Matrix4d t = Eigen::Matrix4d::Zero();
			t.block<3, 1>(0, 0) = r * u;
			t.block<3, 1>(0, 1) = r * w;
			t.block<3, 1>(0, 3) = point;
			t(3, 3) = 1.0;
			return t;
		}
	}

	void GlGraph::buildFeatureCircles(const Graph& graph, std::vector<Eigen::Matrix4d>& transforms, std::vector<double>* rawValues)
	{
		transforms.clear();
		if (rawValues)
			rawValues->clear();
		const auto* options = graph.components().get<Options>();
		if (!options || graph.edgeFeatureDescriptors().empty())
			return;
		const auto& circles = options->featureCircleOptions.value();
		const auto& name = circles.featureName.value();
		if (!name)
			return;
		// A name that is no edge feature of this graph draws no circles.
		const auto found = graph.getEdgeFeatureIdx(*name);
		if (!found)
			return;
		const auto f = static_cast<size_t>(*found);
		const bool planar = graph.dimension() == Graph::Dimension::TwoD;

		CircleSamples samples;
		if (!circles.simplifyLinearChains.value())
			samples = edgeCircles(graph, f, planar);
		else
			for (const ChainRecord& record : reduceLinearChains(graph, meanOfValues, static_cast<int>(f)))
			{
				samples.points.push_back(record.centre);
				samples.values.push_back(record.value);
				samples.normals.push_back(record.direction);
			}
		const std::vector<double>& values = samples.values;
		if (values.empty())
			return;
		if (samples.points.size() != values.size() || samples.normals.size() != values.size())
		{
			Log::error("Mismatching diameters, normals,points");
			return;
		}

		const double max = *std::max_element(values.begin(), values.end());
		const ScalingMode mode = circles.scalingMode.value();
		const double scale = mode == ScalingMode::Raw ? 1.0 : circleScale(graph);
		transforms.reserve(values.size());
		for (size_t i = 0; i < values.size(); ++i)
			transforms.push_back(circleTransform(samples.points[i], samples.normals[i], circleSize(values[i], mode, max, scale)));
		if (rawValues)
			*rawValues = values;
	}

	void GlGraph::draw(const GlView& view)
	{
		if (!visible() || !m_graph)
			return;
		const int kind = view.kind();
		const bool planarGraph = m_graph->dimension() == Graph::Dimension::TwoD;
		if (planarGraph ? kind != GlView::Planar : (kind == GlView::Planar && !showInPlanarViews()))
			return;
		const auto* options = m_graph->components().get<Options>();
		if (!options)
			return;
		const auto& general = options->generalOptions.value();
		const auto& circles = options->featureCircleOptions.value();
		const GL::ViewState& viewState = view.viewState();

		GL::StateGuard state(GL::StateGuard::Capabilities | GL::StateGuard::Rasterisation);
		glEnable(GL_LINE_SMOOTH);
		glEnable(GL_BLEND);
		glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
		if (general.drawPoints.value())
			drawPoints(viewState, *options);
		if (general.drawLines.value())
			drawLines(viewState, *options);

		std::vector<Eigen::Matrix4d> transforms;
		std::vector<double> raw;
		const bool rawMode = circles.scalingMode.value() == Options::FeatureCircleOptions::ScalingMode::Raw;
		buildFeatureCircles(*m_graph, transforms, rawMode ? nullptr : &raw);
		if (circles.featureName.value() && !transforms.empty())
			drawCircles(viewState, *options, transforms);
		GL::FixedFunctionPipeline::instance().disable();
		glDisable(GL_LINE_SMOOTH);
		glDisable(GL_BLEND);

		if (circles.showLabels.value())
			drawCircleLabels(viewState, *options, transforms, rawMode ? nullptr : &raw);
		if (general.drawPoints.value() && general.showNodeIndices.value())
			drawNodeIndices(viewState, *options);
	}

	void GlGraph::drawPoints(const GL::ViewState& viewState, const DisplayOptions& options)
	{
		const auto& general = options.generalOptions.value();
		const bool planarGraph = m_graph->dimension() == Graph::Dimension::TwoD;
		const bool onlyNontrivial = general.onlyDrawNontrivialNodes.value();
		auto& pipeline = GL::FixedFunctionPipeline::instance();
		pipeline.enable(viewState, 0, nullptr);
		pipeline.setModelMatrix(matrix());
		std::vector<Eigen::Vector3d> positions;
		std::vector<Eigen::Vector4f> colors;
		positions.reserve(static_cast<size_t>(m_graph->numNodes()));
		colors.reserve(static_cast<size_t>(m_graph->numNodes()));
		const Eigen::Vector4d pointColor = general.pointColor.value();
		m_graph->forEachNode(
		    [&](uint64_t id, const Graph::NodeInfo& node)
		    {
			    if (onlyNontrivial && isChainInteriorNode(id, *m_graph))
				    return;
			    positions.push_back(flattened(node.position(), planarGraph));
			    colors.push_back(attributeColor(node.attributes(), pointColor));
		    });
		m_points->upload(positions, {}, colors);
		pipeline.setDefaultColor(pointColor);
		pipeline.enablePointSmoothing();
		pipeline.setPointSize(general.pointSize.value());
		m_points->bind();
		m_points->draw(GL::VertexBuffer::Points);
		pipeline.disablePointSmoothing();
	}

	void GlGraph::drawLines(const GL::ViewState& viewState, const DisplayOptions& options)
	{
		auto& pipeline = GL::FixedFunctionPipeline::instance();
		const LineVertices lines = buildLineVertices(*m_graph, viewState.zDir());
		m_lines->upload(lines.positions, {}, lines.colors);
		pipeline.enable(viewState, 1, nullptr);
		pipeline.setModelMatrix(matrix());
		pipeline.setLineWidth(options.generalOptions.value().lineWidth.value());
		m_lines->bind();
		m_lines->draw(GL::VertexBuffer::Lines);
	}

	void GlGraph::drawCircles(const GL::ViewState& viewState, const DisplayOptions& options, const std::vector<Eigen::Matrix4d>& transforms)
	{
		auto& pipeline = GL::FixedFunctionPipeline::instance();
		const Eigen::Matrix4d& model = matrix();
		pipeline.enable(viewState, 1, nullptr);
		pipeline.setDefaultColor(options.featureCircleOptions.value().circleColor.value());
		pipeline.setLineWidth(2.0);
		m_circle->bind();
		for (const Eigen::Matrix4d& t : transforms)
		{
			pipeline.setModelMatrix(model * t);
			m_circle->draw(GL::VertexBuffer::LineLoop);
		}
	}

	void GlGraph::drawCircleLabels(const GL::ViewState& viewState, const DisplayOptions& options, const std::vector<Eigen::Matrix4d>& transforms,
	                               const std::vector<double>* raw)
	{
		const Eigen::Matrix4d& model = matrix();
		const auto& circles = options.featureCircleOptions.value();
		for (size_t i = 0; i < transforms.size(); ++i)
		{
			const Eigen::Matrix4d& t = transforms[i];
			const Eigen::Vector3d c0 = t.block<3, 1>(0, 0);
			const double length = c0.norm();
			const Eigen::Vector3d local = t.block<3, 1>(0, 3) + c0;
			const Eigen::Vector3d position = (model * local.homogeneous()).head<3>();
			const double number = raw ? (*raw)[i] : 2.0 * length;
			renderLabel(viewState, position, fmt::format("{:.3g} {}", number, circles.unitSuffix.value()), 4.0);
		}
	}

	void GlGraph::drawNodeIndices(const GL::ViewState& viewState, const DisplayOptions& options)
	{
		const Eigen::Matrix4d& model = matrix();
		const bool onlyNontrivial = options.generalOptions.value().onlyDrawNontrivialNodes.value();
		m_graph->forEachNode(
		    [&](uint64_t id, const Graph::NodeInfo& node)
		    {
			    if (onlyNontrivial && isChainInteriorNode(id, *m_graph))
				    return;
			    renderLabel(viewState, (model * node.position().homogeneous()).head<3>(), std::to_string(id), 2.0);
		    });
	}

	void GlGraph::renderLabel(const GL::ViewState& viewState, const Eigen::Vector3d& position, const std::string& text, double pixelOffset)
	{
		const auto [dx, dy] = viewState.unprojectPixelIncrement(position);
		const Eigen::Vector3d anchor = position + pixelOffset * dx + pixelOffset * dy;
		GL::Font font;
		font.family = "DejaVu Sans";
		font.size = 9;
		font.weight = 1;
		GL::TextRenderer::instance().renderTextWorld(viewState, anchor, text, font, 0, 2, true, Eigen::Vector4d::Ones());
	}
}
