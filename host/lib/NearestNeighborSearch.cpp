#include "host/lib/NearestNeighborSearch.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

#include <nanoflann.hpp>

namespace Quorvale
{
	namespace
	{
		/// The points as nanoflann reads them.
		struct Cloud
		{
			std::vector<Eigen::Vector3d> points;

			size_t kdtree_get_point_count() const { return points.size(); }
			double kdtree_get_pt(size_t index, size_t dim) const { return points[index][static_cast<int>(dim)]; }
			template <class Box>
			bool kdtree_get_bbox(Box&) const
			{
				return false;
			}
		};

		using Tree = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<double, Cloud>, Cloud, 3, size_t>;

		/// Collects every point with distance <= radius. nanoflann's own radius set keeps only squared
		/// distances strictly below its bound and compares in squared units, so the bound is widened a
		/// little and the exact test is made here on the distance itself.
		class InclusiveRadiusSet
		{
		public:
			InclusiveRadiusSet(double radius, std::vector<std::pair<size_t, double>>& found)
			    : m_radius(radius)
			    , m_bound(std::nextafter(radius * radius * (1.0 + 1e-12), std::numeric_limits<double>::infinity()))
			    , m_found(found)
			{
			}

			void init() { m_found.clear(); }
			void clear() { m_found.clear(); }
			size_t size() const { return m_found.size(); }
			bool full() const { return true; }
			bool addPoint(double squared, size_t index)
			{
				const double distance = std::sqrt(squared);
				if (distance <= m_radius)
					m_found.emplace_back(index, distance);
				return true;
			}
			double worstDist() const { return m_bound; }

		private:
			double m_radius;
			double m_bound;
			std::vector<std::pair<size_t, double>>& m_found;
		};

		std::vector<int> sortedIndices(std::vector<std::pair<size_t, double>>& found, size_t limit, std::vector<double>* distances)
		{
			std::sort(found.begin(), found.end(),
			          [](const auto& a, const auto& b) { return a.second != b.second ? a.second < b.second : a.first < b.first; });
			if (found.size() > limit)
				found.resize(limit);
			std::vector<int> indices;
			indices.reserve(found.size());
			if (distances)
				distances->clear();
			for (const auto& [index, distance] : found)
			{
				indices.push_back(static_cast<int>(index));
				if (distances)
					distances->push_back(distance);
			}
			return indices;
		}
	}

	struct NearestNeighborSearch::Index
	{
		Cloud cloud;
		Tree tree{3, cloud, nanoflann::KDTreeSingleIndexAdaptorParams(16)};

		explicit Index(std::vector<Eigen::Vector3d> points)
		    : cloud{std::move(points)}
		{
			if (!cloud.points.empty())
				tree.buildIndex();
		}

		std::vector<std::pair<size_t, double>> within(const Eigen::Vector3d& query, double radius) const
		{
			std::vector<std::pair<size_t, double>> found;
			InclusiveRadiusSet set(radius, found);
			tree.findNeighbors(set, query.data(), nanoflann::SearchParams(32, 0.0f, false));
			return found;
		}
	};

	NearestNeighborSearch::NearestNeighborSearch() = default;
	NearestNeighborSearch::~NearestNeighborSearch() = default;

	void NearestNeighborSearch::buildIndex(const std::vector<Eigen::Vector3d>& points, const Eigen::Matrix4d& matrix)
	{
		std::vector<Eigen::Vector3d> mapped;
		mapped.reserve(points.size());
		const Eigen::Matrix3d linear = matrix.topLeftCorner<3, 3>();
		const Eigen::Vector3d translation = matrix.topRightCorner<3, 1>();
		for (size_t i = 0; i < points.size(); ++i)
		{
			mapped.push_back(linear * points[i] + translation);
			if (!mapped.back().allFinite())
				throw std::invalid_argument("point " + std::to_string(i) + " of the search is not finite");
		}
		m_index = std::make_unique<Index>(std::move(mapped));
	}

	int NearestNeighborSearch::size() const { return m_index ? static_cast<int>(m_index->cloud.points.size()) : 0; }

	std::vector<int> NearestNeighborSearch::findNearestNeighborsRadius(const Eigen::Vector3d& query, double radius,
	                                                                   std::vector<double>* distances) const
	{
		if (distances)
			distances->clear();
		if (size() == 0 || !query.allFinite() || !(radius >= 0.0))
			return {};
		auto found = m_index->within(query, radius);
		return sortedIndices(found, found.size(), distances);
	}

	std::vector<int> NearestNeighborSearch::findNearestNeighbors(const Eigen::Vector3d& query, int k, std::vector<double>* distances) const
	{
		if (distances)
			distances->clear();
		if (size() == 0 || !query.allFinite() || k < 1)
			return {};
		const size_t count = std::min(static_cast<size_t>(k), m_index->cloud.points.size());
		std::vector<size_t> indices(count);
		std::vector<double> squared(count);
		const size_t got = m_index->tree.knnSearch(query.data(), count, indices.data(), squared.data());
		if (got == 0)
			return {};
		// Points tied with the k-th could have been left out in favour of a higher index: take every
		// point up to that distance and let the index break the ties.
		auto found = m_index->within(query, std::sqrt(*std::max_element(squared.begin(), squared.begin() + got)));
		return sortedIndices(found, count, distances);
	}
}
