#pragma once

#include <Eigen/Core>

#include <memory>
#include <vector>

namespace Quorvale
{
	/// Nearest points of a fixed set in 3-D, on a k-d tree. Build once with `buildIndex`; the queries
	/// are const and may run on several threads at once.
	///
	/// Results are ordered nearest first, points at equal distance by ascending index, so the answer
	/// never depends on how the tree was split.
	class NearestNeighborSearch
	{
	public:
		NearestNeighborSearch();
		~NearestNeighborSearch();
		NearestNeighborSearch(const NearestNeighborSearch&) = delete;
		NearestNeighborSearch& operator=(const NearestNeighborSearch&) = delete;

		/// Indexes `points` mapped by `matrix` (an affine map: upper 3 × 3 block and translation).
		/// Queries answer with indices into `points`. Throws std::invalid_argument, leaving the
		/// previous index, when a mapped point is not finite.
		void buildIndex(const std::vector<Eigen::Vector3d>& points, const Eigen::Matrix4d& matrix = Eigen::Matrix4d::Identity());
		/// Number of indexed points.
		int size() const;

		/// Indices of every point whose distance to `query` is at most `radius`, nearest first (ties
		/// by index). With `distances`, their distances in the same order. Empty for a non-finite
		/// query, a negative or NaN radius, or an empty index.
		std::vector<int> findNearestNeighborsRadius(const Eigen::Vector3d& query, double radius,
		                                            std::vector<double>* distances = nullptr) const;
		/// The `k` points nearest to `query` (fewer when the index holds fewer), nearest first, ties by
		/// index. Empty for a non-finite query or k < 1.
		std::vector<int> findNearestNeighbors(const Eigen::Vector3d& query, int k, std::vector<double>* distances = nullptr) const;

	private:
		struct Index;
		std::unique_ptr<Index> m_index;
	};
}
