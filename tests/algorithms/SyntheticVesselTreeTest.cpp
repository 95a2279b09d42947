#include "synthetic/VesselTree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <vector>

#include <Eigen/Geometry>

#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "src/graph/Graph.h"
#include "synthetic/GraphGeometry.h"

using namespace Quorvale;
using namespace Quorvale::SyntheticVessels;

namespace
{
	VesselTree makeTree(const Eigen::Vector3i& dimensions, const Eigen::Vector3d& spacing, std::uint64_t seed)
	{
		TreeSettings settings;
		settings.dimensions = dimensions;
		settings.spacing = spacing;
		settings.seed = seed;
		return createVesselTree(settings);
	}

	/// Built once: the trees the checks below share.
	const VesselTree& isotropicTree()
	{
		static const VesselTree tree = makeTree({128, 128, 128}, {1, 1, 1}, 1);
		return tree;
	}
	const VesselTree& anisotropicTree()
	{
		static const VesselTree tree = makeTree({256, 200, 128}, {0.6, 0.75, 1.2}, 1);
		return tree;
	}

	const TypedImage<unsigned char>& labels(const VesselTree& tree)
	{
		return dynamic_cast<const TypedImage<unsigned char>&>(*tree.labels->get()->mem());
	}

	int labelAt(const VesselTree& tree, const Eigen::Vector3d& world)
	{
		const Eigen::Vector3d pixel = tree.labels->get()->descriptorWorld().worldToPixel(world);
		const Eigen::Vector3i voxel = (pixel.array() + 0.5).floor().cast<int>();
		if (!labels(tree).descriptor().isInside(voxel.x(), voxel.y(), voxel.z()))
			return -1;
		return labels(tree).at(voxel.x(), voxel.y(), voxel.z());
	}

	double distanceToSegment(const Eigen::Vector3d& p, const Eigen::Vector3d& a, const Eigen::Vector3d& b)
	{
		const Eigen::Vector3d axis = b - a;
		const double t = axis.squaredNorm() > 0.0 ? std::clamp((p - a).dot(axis) / axis.squaredNorm(), 0.0, 1.0) : 0.0;
		return (p - (a + t * axis)).norm();
	}

	/// The true centreline as a graph: a node per point, edges along each segment; every point is
	/// mapped through `worldToGraph` and the graph gets the inverse as its matrix.
	Graph graphOf(const std::vector<Segment>& segments, const Eigen::Matrix4d& worldToGraph = Eigen::Matrix4d::Identity())
	{
		Graph graph;
		for (const Segment& segment : segments)
		{
			uint64_t previous = 0;
			for (const Eigen::Vector3d& p : segment.points)
			{
				const uint64_t id = graph.addNode(Graph::NodeInfo((worldToGraph * p.homogeneous()).head<3>(), {}));
				if (previous != 0)
					graph.addEdge(previous, id, Graph::EdgeInfo());
				previous = id;
			}
		}
		graph.setMatrixToWorld(worldToGraph.inverse());
		return graph;
	}

	/// The segment cut short by `length` millimetres at the end `to` (its points beyond dropped).
	Segment shortened(const Segment& segment, double length)
	{
		Segment cut = segment;
		while (cut.points.size() > 1 && length > 0.0)
		{
			const Eigen::Vector3d last = cut.points.back();
			const Eigen::Vector3d before = cut.points[cut.points.size() - 2];
			const double piece = (last - before).norm();
			if (piece > length)
			{
				cut.points.back() = last + (before - last) * (length / piece);
				break;
			}
			length -= piece;
			cut.points.pop_back();
			cut.radii.pop_back();
		}
		return cut;
	}
}

TEST(SyntheticVesselTreeTest, SameSettingsGiveTheSameTree)
{
	const VesselTree first = makeTree({96, 96, 96}, {1, 1, 1}, 5);
	const VesselTree second = makeTree({96, 96, 96}, {1, 1, 1}, 5);
	const VesselTree other = makeTree({96, 96, 96}, {1, 1, 1}, 6);
	const auto bytes = [](const VesselTree& tree) { return labels(tree).byteSize(); };
	ASSERT_EQ(bytes(first), bytes(second));
	EXPECT_EQ(std::memcmp(labels(first).data(), labels(second).data(), bytes(first)), 0);
	EXPECT_NE(std::memcmp(labels(first).data(), labels(other).data(), bytes(first)), 0);
	ASSERT_EQ(first.segments.size(), second.segments.size());
	for (size_t s = 0; s < first.segments.size(); ++s)
	{
		EXPECT_EQ(first.segments[s].points, second.segments[s].points);
		EXPECT_EQ(first.segments[s].radii, second.segments[s].radii);
	}
	EXPECT_EQ(first.spurs.size(), second.spurs.size());
}

TEST(SyntheticVesselTreeTest, LabelVolumeHasTheRequestedGeometry)
{
	const VesselTree& tree = anisotropicTree();
	ASSERT_EQ(tree.labels->size(), 1);
	const ImageDescriptor& descriptor = tree.labels->get()->descriptor();
	EXPECT_EQ(descriptor.pixelType(), ImageDescriptor::UnsignedChar);
	EXPECT_EQ(descriptor.dimensions(), Eigen::Vector3i(256, 200, 128));
	EXPECT_EQ(descriptor.spacing(), Eigen::Vector3d(0.6, 0.75, 1.2));
	EXPECT_EQ(tree.labels->modality(), Data::LabelMap);
	const TypedImage<unsigned char>& image = labels(tree);
	const size_t inside = static_cast<size_t>(std::count(image.pointer(), image.pointer() + descriptor.size(), 1));
	EXPECT_EQ(static_cast<size_t>(std::count(image.pointer(), image.pointer() + descriptor.size(), 0)) + inside, descriptor.size());
	const double share = static_cast<double>(inside) / static_cast<double>(descriptor.size());
	EXPECT_GT(share, 0.002);
	EXPECT_LT(share, 0.03);

	EXPECT_THROW(makeTree({31, 64, 64}, {1, 1, 1}, 1), std::invalid_argument);
	EXPECT_THROW(makeTree({64, 64, 64}, {1, 0, 1}, 1), std::invalid_argument);
	EXPECT_THROW(makeTree({64, 64, 64}, {1, std::numeric_limits<double>::quiet_NaN(), 1}, 1), std::invalid_argument);
	TreeSettings negative;
	negative.loops = -1;
	EXPECT_THROW(createVesselTree(negative), std::invalid_argument);
}

TEST(SyntheticVesselTreeTest, CenterlineIsOneGraphWithBranchPointsFreeEndsAndLoops)
{
	for (const VesselTree* tree : {&isotropicTree(), &anisotropicTree()})
	{
		ASSERT_GE(tree->generations, 3);
		EXPECT_GE(tree->loops, 1);
		EXPECT_GE(tree->spurs.size(), 1u);
		EXPECT_LE(tree->spurs.size(), 4u);
		const int nodes = static_cast<int>(tree->nodes.size());
		std::vector<int> component(static_cast<size_t>(nodes));
		std::iota(component.begin(), component.end(), 0);
		const auto find = [&](int n)
		{
			while (component[static_cast<size_t>(n)] != n)
				n = component[static_cast<size_t>(n)];
			return n;
		};
		for (const Segment& segment : tree->segments)
		{
			ASSERT_GE(segment.points.size(), 2u);
			ASSERT_EQ(segment.points.size(), segment.radii.size());
			EXPECT_EQ(segment.points.front(), tree->nodes[static_cast<size_t>(segment.from)]);
			EXPECT_EQ(segment.points.back(), tree->nodes[static_cast<size_t>(segment.to)]);
			component[static_cast<size_t>(find(segment.from))] = find(segment.to);
		}
		// Connected, with exactly one independent cycle per anastomosis and no node of degree two.
		for (int n = 0; n < nodes; ++n)
			EXPECT_EQ(find(n), find(0));
		EXPECT_EQ(static_cast<int>(tree->segments.size()) - nodes + 1, tree->loops);
		for (int n = 0; n < nodes; ++n)
			EXPECT_NE(tree->degree(n), 2);
		EXPECT_EQ(tree->branchPoints.size() + tree->freeEnds.size(), tree->nodes.size());
		for (int n : tree->branchPoints)
			EXPECT_GE(tree->degree(n), 3);
		for (int n : tree->freeEnds)
			EXPECT_EQ(tree->degree(n), 1);
		EXPECT_EQ(std::count_if(tree->segments.begin(), tree->segments.end(), [](const Segment& s) { return s.connector; }), tree->loops);
	}
}

TEST(SyntheticVesselTreeTest, AnastomosesJoinBranchesThatStayApartAndLeaveAHole)
{
	// At 256 voxels of 0.5 mm the tree once got a connector between two short, thick branches next to
	// the root: the three tubes fused into a plate whose skeleton could not follow the centreline.
	const VesselTree demo = makeTree({256, 256, 256}, {0.5, 0.5, 0.5}, 1);
	for (const VesselTree* tree : {&isotropicTree(), &anisotropicTree(), &demo})
	{
		ASSERT_GE(tree->loops, 1);
		const double gap = 6.0 * tree->labels->get()->descriptor().spacing().maxCoeff();
		const auto length = [](const Segment& s)
		{
			double sum = 0.0;
			for (size_t i = 1; i < s.points.size(); ++i)
				sum += (s.points[i] - s.points[i - 1]).norm();
			return sum;
		};
		// Shortest way between two nodes through the tree without the given connector, as segments.
		const auto cycleOf = [&](size_t connector)
		{
			const Segment& joint = tree->segments[connector];
			std::vector<double> distance(tree->nodes.size(), std::numeric_limits<double>::infinity());
			std::vector<int> via(tree->nodes.size(), -1);
			std::vector<bool> done(tree->nodes.size(), false);
			distance[static_cast<size_t>(joint.from)] = 0.0;
			for (;;)
			{
				int node = -1;
				for (size_t n = 0; n < tree->nodes.size(); ++n)
					if (!done[n] && std::isfinite(distance[n]) && (node < 0 || distance[n] < distance[static_cast<size_t>(node)]))
						node = static_cast<int>(n);
				if (node < 0 || node == joint.to)
					break;
				done[static_cast<size_t>(node)] = true;
				for (size_t s = 0; s < tree->segments.size(); ++s)
				{
					const Segment& segment = tree->segments[s];
					if (s == connector || (segment.from != node && segment.to != node))
						continue;
					const int other = segment.from == node ? segment.to : segment.from;
					if (distance[static_cast<size_t>(node)] + length(segment) < distance[static_cast<size_t>(other)])
					{
						distance[static_cast<size_t>(other)] = distance[static_cast<size_t>(node)] + length(segment);
						via[static_cast<size_t>(other)] = static_cast<int>(s);
					}
				}
			}
			std::vector<size_t> cycle{connector};
			for (int node = joint.to; node != joint.from && via[static_cast<size_t>(node)] >= 0;)
			{
				const Segment& segment = tree->segments[static_cast<size_t>(via[static_cast<size_t>(node)])];
				cycle.push_back(static_cast<size_t>(via[static_cast<size_t>(node)]));
				node = segment.from == node ? segment.to : segment.from;
			}
			return cycle;
		};

		for (size_t c = 0; c < tree->segments.size(); ++c)
		{
			const Segment& connector = tree->segments[c];
			if (!connector.connector)
				continue;
			const double radius = connector.radii.front();
			double branchRadius = 0.0;
			for (const Segment& other : tree->segments)
				if (!other.connector)
					for (int end : {connector.from, connector.to})
						if (other.from == end || other.to == end)
							branchRadius = std::max(branchRadius, other.from == end ? other.radii.front() : other.radii.back());
			// Between the walls of the two branches it is long next to its own radius and theirs.
			const double wallGap = (connector.points.back() - connector.points.front()).norm() - 2.0 * branchRadius;
			EXPECT_GE(wallGap, 2.0 * gap - 1e-9);
			EXPECT_GE(wallGap, 6.0 * radius - 1e-9);
			EXPECT_GE(wallGap, 3.0 * branchRadius - 1e-9);
			// Its joints keep clear of the bifurcations.
			for (int end : {connector.from, connector.to})
				for (int branchPoint : tree->branchPoints)
					if (branchPoint != connector.from && branchPoint != connector.to)
					{
						EXPECT_GT((tree->nodes[static_cast<size_t>(branchPoint)] - tree->nodes[static_cast<size_t>(end)]).norm(),
						          branchRadius + radius + gap);
					}
			// The loop it closes encircles an open hole: the cycle's centroid keeps the clearance from
			// all of its tubes.
			const std::vector<size_t> cycle = cycleOf(c);
			ASSERT_GE(cycle.size(), 2u);
			Eigen::Vector3d centroid = Eigen::Vector3d::Zero();
			double total = 0.0;
			for (size_t s : cycle)
			{
				const Segment& segment = tree->segments[s];
				for (size_t i = 1; i < segment.points.size(); ++i)
				{
					const double piece = (segment.points[i] - segment.points[i - 1]).norm();
					centroid += 0.5 * piece * (segment.points[i] + segment.points[i - 1]);
					total += piece;
				}
			}
			centroid /= total;
			for (size_t s : cycle)
			{
				const Segment& segment = tree->segments[s];
				for (size_t i = 1; i < segment.points.size(); ++i)
					EXPECT_GE(distanceToSegment(centroid, segment.points[i - 1], segment.points[i]) - segment.radii[i - 1], gap)
					    << "connector " << c;
			}
		}
	}
}

TEST(SyntheticVesselTreeTest, RadiiShrinkAwayFromTheRoot)
{
	for (const VesselTree* tree : {&isotropicTree(), &anisotropicTree()})
	{
		const double coarsest = tree->labels->get()->descriptor().spacing().maxCoeff();
		double largest = 0.0;
		for (const Segment& segment : tree->segments)
			for (double radius : segment.radii)
			{
				EXPECT_GE(radius, 1.5 * coarsest - 1e-12);
				largest = std::max(largest, radius);
			}
		// Along a vessel the radius never grows, and every vessel leaving a branch point is at most
		// as thick as the one arriving there; an anastomosis is thinner than both vessels it joins.
		std::vector<double> arriving(tree->nodes.size(), 0.0);
		for (const Segment& segment : tree->segments)
			if (!segment.connector)
			{
				for (size_t i = 1; i < segment.radii.size(); ++i)
					EXPECT_LE(segment.radii[i], segment.radii[i - 1]);
				arriving[static_cast<size_t>(segment.to)] = segment.radii.back();
			}
		int thickFreeEnds = 0;
		for (const Segment& segment : tree->segments)
		{
			if (segment.connector)
				continue;
			if (tree->degree(segment.from) == 1)
			{
				++thickFreeEnds;
				EXPECT_EQ(segment.radii.front(), largest) << "only the root starts at a free end";
			}
			else if (arriving[static_cast<size_t>(segment.from)] > 0.0)
			{
				EXPECT_LE(segment.radii.front(), arriving[static_cast<size_t>(segment.from)]);
			}
		}
		EXPECT_EQ(thickFreeEnds, 1);
		for (const Segment& segment : tree->segments)
		{
			if (!segment.connector)
				continue;
			for (int end : {segment.from, segment.to})
				for (const Segment& other : tree->segments)
					if (!other.connector && (other.from == end || other.to == end))
					{
						EXPECT_LE(segment.radii.front(), other.radii.front());
					}
		}
	}
}

TEST(SyntheticVesselTreeTest, LabelsAreTheTubesAroundTheCenterline)
{
	for (const VesselTree* tree : {&isotropicTree(), &anisotropicTree()})
	{
		// Every point of the true centreline, sampled finely, lies inside the label.
		for (const Segment& segment : tree->segments)
			for (size_t i = 1; i < segment.points.size(); ++i)
				for (double t = 0.0; t <= 1.0; t += 0.05)
					ASSERT_EQ(labelAt(*tree, segment.points[i - 1] + t * (segment.points[i] - segment.points[i - 1])), 1);

		// Every label voxel lies within a radius of the centreline or inside a bump, and the voxels
		// well inside each tube are labelled.
		const TypedImage<unsigned char>& image = labels(*tree);
		const ImageDescriptorWorld world = tree->labels->get()->descriptorWorld();
		const double halfDiagonal = 0.5 * image.descriptor().spacing().norm();
		const Eigen::Vector3i& dims = image.descriptor().dimensions();
		const auto nearTruth = [&](const Eigen::Vector3d& p)
		{
			for (const Bump& bump : tree->spurs)
				if ((p - bump.centre).norm() - bump.radius <= halfDiagonal)
					return true;
			for (const Segment& segment : tree->segments)
				for (size_t i = 1; i < segment.points.size(); ++i)
					if (distanceToSegment(p, segment.points[i - 1], segment.points[i]) - segment.radii[i] <= halfDiagonal)
						return true;
			return false;
		};
		size_t checked = 0;
		for (int z = 0; z < dims.z(); ++z)
			for (int y = 0; y < dims.y(); ++y)
				for (int x = 0; x < dims.x(); ++x)
					if (image.at(x, y, z) != 0)
					{
						++checked;
						ASSERT_TRUE(nearTruth(world.pixelToWorld(Eigen::Vector3d(x, y, z)))) << x << ", " << y << ", " << z;
					}
		for (const Segment& segment : tree->segments)
			for (size_t i = 0; i < segment.points.size(); ++i)
			{
				const double inner = segment.radii[i] - halfDiagonal;
				const Eigen::Vector3d centre = world.worldToPixel(segment.points[i]);
				const Eigen::Vector3i reach = (Eigen::Vector3d::Constant(inner).cwiseQuotient(image.descriptor().spacing())).cast<int>();
				for (int z = -reach.z(); z <= reach.z(); ++z)
					for (int y = -reach.y(); y <= reach.y(); ++y)
						for (int x = -reach.x(); x <= reach.x(); ++x)
						{
							const Eigen::Vector3i voxel = (centre.array() + 0.5).floor().cast<int>() + Eigen::Array3i(x, y, z);
							if ((world.pixelToWorld(voxel.cast<double>()) - segment.points[i]).norm() < inner)
							{
								ASSERT_EQ(image.at(voxel.x(), voxel.y(), voxel.z()), 1);
							}
						}
			}
		EXPECT_GT(checked, 500u);
	}
}

TEST(SyntheticVesselTreeTest, TheTruthMatchesItselfInAnyGraphFrame)
{
	const VesselTree& tree = isotropicTree();
	const CenterlineMatch self = matchCenterline(tree, graphOf(tree.segments), 1.0);
	EXPECT_EQ(self.coverage, 1.0);
	EXPECT_LT(self.largestDistance, 1e-9);
	EXPECT_LT(self.largestGraphDistance, 1e-9);
	// Sampled every quarter millimetre, without the last radius at each free end.
	double sampled = tree.totalLength();
	for (int end : tree.freeEnds)
		for (const Segment& segment : tree.segments)
			sampled -= segment.from == end ? segment.radii.front() : segment.to == end ? segment.radii.back() : 0.0;
	// Each segment adds up to two samples: its first one and the rounding up of its last step.
	EXPECT_NEAR(static_cast<double>(self.samples), sampled / 0.25, 2.0 * static_cast<double>(tree.segments.size()) + 1.0);

	// Positions in a scaled, rotated and shifted frame whose matrix maps them back to the world.
	const Eigen::Matrix4d worldToGraph =
	    (Eigen::Translation3d(4, -7, 30) * Eigen::AngleAxisd(0.7, Eigen::Vector3d(1, 2, 3).normalized()) * Eigen::Scaling(0.5)).matrix();
	const CenterlineMatch framed = matchCenterline(tree, graphOf(tree.segments, worldToGraph), 1.0);
	EXPECT_EQ(framed.coverage, 1.0);
	EXPECT_LT(framed.largestDistance, 1e-9);

	EXPECT_THROW(matchCenterline(tree, Graph(), 0.0), std::invalid_argument);
	EXPECT_THROW(matchCenterline(tree, Graph(), std::numeric_limits<double>::infinity()), std::invalid_argument);
}

TEST(SyntheticVesselTreeTest, MatchMeasuresMissingAndStrayParts)
{
	const VesselTree& tree = isotropicTree();
	const double tolerance = 1.0;

	// Thinning stops about a radius before a free end: the match leaves that part out, but no more.
	std::vector<Segment> shorter;
	std::vector<Segment> tooShort;
	for (const Segment& segment : tree.segments)
	{
		const bool freeEnd = tree.degree(segment.to) == 1;
		shorter.push_back(freeEnd ? shortened(segment, segment.radii.back() - 0.5 * tolerance) : segment);
		tooShort.push_back(freeEnd ? shortened(segment, segment.radii.back() + 3.0 * tolerance) : segment);
	}
	EXPECT_EQ(matchCenterline(tree, graphOf(shorter), tolerance).coverage, 1.0);
	const CenterlineMatch cut = matchCenterline(tree, graphOf(tooShort), tolerance);
	EXPECT_LT(cut.coverage, 1.0);
	EXPECT_NEAR(cut.largestDistance, 3.0, 0.3);

	// A missing segment lowers the share by about its length.
	size_t longest = 0;
	for (size_t s = 0; s < tree.segments.size(); ++s)
		if (!tree.segments[s].connector && tree.degree(tree.segments[s].from) >= 3 && tree.degree(tree.segments[s].to) >= 3 &&
		    tree.segments[s].points.size() > tree.segments[longest].points.size())
			longest = s;
	std::vector<Segment> missing = tree.segments;
	missing.erase(missing.begin() + static_cast<long>(longest));
	const CenterlineMatch gap = matchCenterline(tree, graphOf(missing), tolerance);
	double length = 0.0;
	for (size_t i = 1; i < tree.segments[longest].points.size(); ++i)
		length += (tree.segments[longest].points[i] - tree.segments[longest].points[i - 1]).norm();
	const double expectedShare = (length - 2.0 * tolerance) / (static_cast<double>(gap.samples) * 0.25);
	EXPECT_NEAR(1.0 - gap.coverage, expectedShare, 0.01);
	EXPECT_GT(gap.largestDistance, 2.0 * tolerance);
	EXPECT_LT(gap.largestGraphDistance, 1e-9);

	// A stray node far away and a shifted copy show up in the reverse distance.
	Graph stray = graphOf(tree.segments);
	stray.addNode(Graph::NodeInfo(Eigen::Vector3d(500, 0, 0), {}));
	const CenterlineMatch withStray = matchCenterline(tree, stray, tolerance);
	EXPECT_EQ(withStray.coverage, 1.0);
	EXPECT_GT(withStray.largestGraphDistance, 400.0);
	const Eigen::Matrix4d shift = Eigen::Affine3d(Eigen::Translation3d(0, 0, 4.0 * tolerance)).matrix();
	const CenterlineMatch shifted = matchCenterline(tree, graphOf(tree.segments, shift), tolerance);
	EXPECT_EQ(shifted.coverage, 1.0) << "the graph's matrix undoes the shift";
	Graph moved = graphOf(tree.segments, shift);
	moved.setMatrixToWorld(Eigen::Matrix4d::Identity());
	const CenterlineMatch away = matchCenterline(tree, moved, tolerance);
	EXPECT_LT(away.coverage, 0.7);
	EXPECT_LE(away.largestDistance, 4.0 * tolerance + 1e-9);
	EXPECT_LE(away.largestGraphDistance, 4.0 * tolerance + 1e-9);

	const CenterlineMatch none = matchCenterline(tree, Graph(), tolerance);
	EXPECT_EQ(none.coverage, 0.0);
	EXPECT_TRUE(std::isinf(none.largestDistance));
	EXPECT_EQ(none.largestGraphDistance, 0.0);
}
