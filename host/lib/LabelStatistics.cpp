#include "host/lib/LabelStatistics.h"

#include <cmath>
#include <cstdint>

#include "host/core/ThreadTeam.h"
#include "host/lib/ImageProcessing.h"

namespace Quorvale::LabelStatistics
{
	namespace
	{
		/// The bounds found by one thread. Voxels of one label arrive in runs along x, and runs of the
		/// same label follow each other, so the last label looked up is kept at hand.
		class Accumulator
		{
		public:
			void addRun(double label, int x0, int x1, int y, int z)
			{
				if (!m_last || label != m_lastLabel)
				{
					auto [it, inserted] = m_bounds.try_emplace(label, Bounds{{x0, y, z}, {x1, y, z}});
					m_last = &it->second;
					m_lastLabel = label;
					if (inserted)
						return;
				}
				m_last->min = m_last->min.cwiseMin(Eigen::Vector3i(x0, y, z));
				m_last->max = m_last->max.cwiseMax(Eigen::Vector3i(x1, y, z));
			}

			void mergeInto(std::map<double, Bounds>& target) const
			{
				for (const auto& [label, bounds] : m_bounds)
				{
					auto [it, inserted] = target.try_emplace(label, bounds);
					if (!inserted)
					{
						it->second.min = it->second.min.cwiseMin(bounds.min);
						it->second.max = it->second.max.cwiseMax(bounds.max);
					}
				}
			}

		private:
			std::map<double, Bounds> m_bounds;
			Bounds* m_last = nullptr;
			double m_lastLabel = 0.0;
		};
	}

	std::map<double, Bounds> computeBounds(const MemImage& image)
	{
		const ImageDescriptor& d = image.descriptor();
		const int nx = d.dimensions().x();
		const int ny = d.dimensions().y();
		const std::int64_t rows = static_cast<std::int64_t>(ny) * d.dimensions().z();
		const auto channels = static_cast<std::size_t>(d.channels());
		std::map<double, Bounds> result;
		const bool parallel = rows * nx >= (1 << 15);
		const Threading::ThreadTeam team(parallel);
		ImageProcessing::visit(image,
		                       [&](const auto& typed)
		                       {
			                       const auto* elements = typed.pointer();
#pragma omp parallel if (parallel) num_threads(team.size())
			                       {
				                       Accumulator local;
#pragma omp for schedule(static) nowait
				                       for (std::int64_t row = 0; row < rows; ++row)
				                       {
					                       const int y = static_cast<int>(row % ny);
					                       const int z = static_cast<int>(row / ny);
					                       const auto* line = elements + static_cast<std::size_t>(row) * nx * channels;
					                       for (int x = 0; x < nx;)
					                       {
						                       const auto stored = line[x * channels];
						                       int end = x + 1;
						                       while (end < nx && line[end * channels] == stored)
							                       ++end;
						                       const double label = d.storageToOriginal(ImageProcessing::Detail::toDouble(stored));
						                       if (label != 0.0 && !std::isnan(label))
							                       local.addRun(label, x, end - 1, y, z);
						                       x = end;
					                       }
				                       }
#pragma omp critical(LabelStatisticsMerge)
				                       local.mergeInto(result);
			                       }
		                       });
		return result;
	}
}
