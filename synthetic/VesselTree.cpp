#include "synthetic/VesselTree.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <stdexcept>
#include <unordered_map>

#include <Eigen/Geometry>

#include "host/lib/SharedImageSet.h"
#include "synthetic/VesselVolume.h"

namespace Quorvale::SyntheticVessels
{
	namespace
	{
		constexpr double kPi = 3.14159265358979323846;
		constexpr int kMaxGenerations = 6;
		/// Two equal children of a parent of radius r have radius r · 2^(−1/3) (Murray's law).
		constexpr double kRadiusRatio = 0.7937005259840998;
		constexpr double kLengthRatio = 0.78;
		/// Tries per branch before giving it up.
		constexpr int kBranchAttempts = 8;

		/// Uniform numbers from a 64-bit Mersenne twister, converted by hand: the standard
		/// distributions are not the same in every standard library.
		class Random
		{
		public:
			explicit Random(std::uint64_t seed)
			    : m_engine(seed)
			{
			}

			double uniform() { return static_cast<double>(m_engine() >> 11) * 0x1p-53; }
			double uniform(double low, double high) { return low + (high - low) * uniform(); }
			/// An integer in [0, count).
			int index(int count) { return std::min(count - 1, static_cast<int>(uniform() * count)); }
			/// A unit vector perpendicular to the unit vector `direction`.
			Eigen::Vector3d perpendicular(const Eigen::Vector3d& direction)
			{
				const Eigen::Vector3d u = direction.unitOrthogonal();
				const Eigen::Vector3d v = direction.cross(u);
				const double angle = uniform(0.0, 2.0 * kPi);
				return std::cos(angle) * u + std::sin(angle) * v;
			}

		private:
			std::mt19937_64 m_engine;
		};

		/// Sizes derived from the volume, in millimetres.
		struct Scale
		{
			/// Half the extent of the box of voxel centres; the volume is centred on the origin.
			Eigen::Vector3d halfExtent;
			Eigen::Vector3d spacing;
			/// Largest voxel size.
			double coarsest = 0.0;
			/// Smallest vessel radius: 1.5 voxels of the coarsest spacing.
			double minRadius = 0.0;
			/// Clearance between vessels that are not joined: six coarsest voxels, so that resampling
			/// to the coarsest spacing and a closing of two voxels do not bridge them.
			double gap = 0.0;
			/// Shortest extent of the volume.
			double size = 0.0;

			/// True when a ball of radius `radius` at `point` stays two voxels inside the volume.
			bool inside(const Eigen::Vector3d& point, double radius) const
			{
				return ((point.cwiseAbs().array() + radius + 2.0 * spacing.array()) <= halfExtent.array()).all();
			}
		};

		/// A ball already placed (a sample of a vessel's centreline, or a bump), owned by a branch
		/// (its index) or by no branch (−1).
		struct Sample
		{
			Eigen::Vector3d point;
			double radius;
			int owner;
		};

		/// Samples of one owner near a junction that a new vessel may come close to: the new
		/// vessel grows out of them.
		struct Exclusion
		{
			int owner;
			Eigen::Vector3d centre;
			double radius;
		};

		/// The placed vessels as balls in a hash grid whose cells are as large as the largest
		/// clearance that is ever tested, so that a test looks at 27 cells.
		class ClearanceIndex
		{
		public:
			ClearanceIndex(double cellSize, double sampleStep)
			    : m_cellSize(cellSize)
			    , m_sampleStep(sampleStep)
			{
			}

			void add(const Sample& sample) { m_cells[key(cell(sample.point))].push_back(sample); }

			/// Adds balls along the piece a → b, no further apart than the sample step.
			void addPiece(const Eigen::Vector3d& a, const Eigen::Vector3d& b, double radius, int owner)
			{
				forEachSample(a, b, [&](const Eigen::Vector3d& point) { add({point, radius, owner}); });
				add({a, radius, owner});
			}

			/// True when a ball at `point` keeps `gap` from every placed ball outside the exclusions.
			bool isClear(const Eigen::Vector3d& point, double radius, double gap, const std::vector<Exclusion>& exclusions) const
			{
				const Eigen::Vector3i centre = cell(point);
				for (int dz = -1; dz <= 1; ++dz)
					for (int dy = -1; dy <= 1; ++dy)
						for (int dx = -1; dx <= 1; ++dx)
						{
							const auto found = m_cells.find(key(centre + Eigen::Vector3i(dx, dy, dz)));
							if (found == m_cells.end())
								continue;
							for (const Sample& sample : found->second)
							{
								const double needed = radius + sample.radius + gap;
								if ((sample.point - point).squaredNorm() >= needed * needed || isExcluded(sample, exclusions))
									continue;
								return false;
							}
						}
				return true;
			}

			/// True when every ball along the piece a → b (a itself excepted) is clear.
			bool isPieceClear(const Eigen::Vector3d& a, const Eigen::Vector3d& b, double radius, double gap,
			                  const std::vector<Exclusion>& exclusions) const
			{
				bool clear = true;
				forEachSample(a, b, [&](const Eigen::Vector3d& point) { clear = clear && isClear(point, radius, gap, exclusions); });
				return clear;
			}

		private:
			static bool isExcluded(const Sample& sample, const std::vector<Exclusion>& exclusions)
			{
				for (const Exclusion& exclusion : exclusions)
					if (sample.owner == exclusion.owner && (sample.point - exclusion.centre).norm() < exclusion.radius)
						return true;
				return false;
			}

			/// Calls `f` for the points after a up to and including b, no further apart than the sample step.
			template <typename F>
			void forEachSample(const Eigen::Vector3d& a, const Eigen::Vector3d& b, const F& f) const
			{
				const int steps = std::max(1, static_cast<int>(std::ceil((b - a).norm() / m_sampleStep)));
				for (int k = 1; k <= steps; ++k)
					f(a + (b - a) * (static_cast<double>(k) / steps));
			}

			Eigen::Vector3i cell(const Eigen::Vector3d& point) const { return (point / m_cellSize).array().floor().cast<int>(); }
			static std::int64_t key(const Eigen::Vector3i& cell)
			{
				constexpr std::int64_t offset = 1 << 20;
				return ((cell.x() + offset) << 42) | ((cell.y() + offset) << 21) | (cell.z() + offset);
			}

			double m_cellSize;
			double m_sampleStep;
			std::unordered_map<std::int64_t, std::vector<Sample>> m_cells;
		};

		/// One vessel as grown: a polyline of constant radius.
		struct Branch
		{
			std::vector<Eigen::Vector3d> points;
			double radius = 0.0;
			/// The branch whose end this one starts at; −1 for the root and for anastomoses.
			int parent = -1;
			int generation = 0;
			/// An anastomosis, joining point `fromPoint` of branch `fromBranch` to point `toPoint` of
			/// branch `toBranch`.
			bool connector = false;
			int fromBranch = -1;
			int fromPoint = -1;
			int toBranch = -1;
			int toPoint = -1;

			double length() const
			{
				double sum = 0.0;
				for (size_t i = 1; i < points.size(); ++i)
					sum += (points[i] - points[i - 1]).norm();
				return sum;
			}
			Eigen::Vector3d endDirection() const { return (points.back() - points[points.size() - 2]).normalized(); }
			Eigen::Vector3d tangent(int i) const
			{
				return (points[static_cast<size_t>(i + 1)] - points[static_cast<size_t>(i - 1)]).normalized();
			}
		};

		/// A branch still to be grown.
		struct PendingBranch
		{
			int parent;
			Eigen::Vector3d start;
			Eigen::Vector3d direction;
			double radius;
			double length;
			int generation;
		};

		class TreeBuilder
		{
		public:
			TreeBuilder(const TreeSettings& settings, const Scale& scale, double rootRadius)
			    : m_scale(scale)
			    , m_random(settings.seed)
			    , m_index(2.0 * rootRadius + scale.gap, 0.5 * scale.coarsest)
			    , m_rootRadius(rootRadius)
			{
			}

			void growTree()
			{
				const double rootLength = 0.35 * m_scale.size;
				// Every draw is a statement of its own: the order of draws inside one call's arguments is
				// the compiler's, and the tree must be the same whichever compiler built it.
				const double startY = m_random.uniform(-0.05, 0.05) * m_scale.size;
				const double startX = m_random.uniform(-0.05, 0.05) * m_scale.size;
				const Eigen::Vector3d start(startX, startY, -m_scale.halfExtent.z() + m_rootRadius + 2.0 * m_scale.spacing.z());
				const Eigen::Vector3d tiltAxis = m_random.perpendicular(Eigen::Vector3d::UnitZ());
				const double tilt = m_random.uniform(0.0, 0.15);
				const Eigen::Vector3d direction = Eigen::AngleAxisd(tilt, tiltAxis) * Eigen::Vector3d::UnitZ();
				std::vector<PendingBranch> pending{{-1, start, direction, m_rootRadius, rootLength, 0}};
				// Generation by generation, so that the thick vessels claim their room first.
				for (size_t next = 0; next < pending.size(); ++next)
				{
					const PendingBranch item = pending[next];
					const std::optional<bool> complete = place(item);
					if (!complete || !*complete)
						continue;
					const Branch& grown = m_branches.back();
					const double childRadius = grown.radius * kRadiusRatio;
					if (item.generation >= kMaxGenerations || childRadius < m_scale.minRadius)
						continue;
					const Eigen::Vector3d d = grown.endDirection();
					const double spin = m_random.uniform(0.0, 2.0 * kPi);
					const Eigen::Vector3d axis = Eigen::AngleAxisd(spin, d) * d.unitOrthogonal();
					for (double side : {1.0, -1.0})
					{
						const double angle = m_random.uniform(30.0, 45.0) * kPi / 180.0;
						// In a small volume the clearance is large next to the branch lengths: without the
						// floor most children would end within their sibling's reach and the tree would stop
						// after a split or two.
						const double length = std::max(item.length * kLengthRatio * m_random.uniform(0.85, 1.15),
						                               siblingReach(childRadius, childRadius) + 4.0 * childRadius);
						pending.push_back({static_cast<int>(m_branches.size()) - 1, grown.points.back(),
						                   Eigen::AngleAxisd(side * angle, axis) * d, childRadius, length, item.generation + 1});
					}
				}
			}

			/// Adds up to `count` anastomoses between two branches; returns how many fit. Every pair of
			/// attachable points that suits (see below) is a candidate; they are tried in random order.
			/// A loop must stay a loop in the label volume: the two branches, the connector and the rest of
			/// the cycle must leave an open hole, else the tubes fuse into a plate whose skeleton cannot
			/// follow the true centreline.
			int addLoops(int count)
			{
				std::vector<LoopOption> options = loopOptions(count);
				for (size_t k = options.size(); k > 1; --k)
					std::swap(options[k - 1], options[static_cast<size_t>(m_random.index(static_cast<int>(k)))]);

				int placed = 0;
				for (const LoopOption& option : options)
				{
					if (placed == count)
						break;
					if (addConnector(option))
						++placed;
				}
				return placed;
			}

			/// Adds up to `count` bumps on the walls of the thicker vessels, at attachable points tried
			/// in random order.
			std::vector<Bump> addSpurs(int count)
			{
				std::vector<std::pair<int, int>> options;
				for (int b = 0; b < static_cast<int>(m_branches.size()) && count > 0; ++b)
				{
					const Branch& branch = m_branches[static_cast<size_t>(b)];
					if (branch.connector || branch.radius < 2.5 * m_scale.coarsest)
						continue;
					for (int i : attachablePoints(b, branch.radius, false))
						options.push_back({b, i});
				}
				for (size_t k = options.size(); k > 1; --k)
					std::swap(options[k - 1], options[static_cast<size_t>(m_random.index(static_cast<int>(k)))]);

				std::vector<Bump> bumps;
				for (const auto& [b, i] : options)
				{
					if (static_cast<int>(bumps.size()) == count)
						break;
					const Branch& branch = m_branches[static_cast<size_t>(b)];
					if (!isAttachable(b, i, branch.radius, false))
						continue;
					// Half as thick as the vessel, its centre 0.8 radii off the centreline: it sticks out
					// by 0.3 radii.
					const Eigen::Vector3d& on = branch.points[static_cast<size_t>(i)];
					const Bump bump{on + 0.8 * branch.radius * m_random.perpendicular(branch.tangent(i)), 0.5 * branch.radius};
					if (!m_scale.inside(bump.centre, bump.radius) ||
					    !m_index.isClear(bump.centre, bump.radius, m_scale.gap, {{b, on, 2.5 * branch.radius + 2.0 * m_scale.gap}}))
						continue;
					m_attachments.push_back({b, i});
					m_index.add({bump.centre, bump.radius, -1});
					bumps.push_back(bump);
				}
				return bumps;
			}

			const std::vector<Branch>& branches() const { return m_branches; }

		private:
			/// Grows the branch, retrying with other directions when it runs into a vessel or out of the
			/// volume early. Places it and returns whether it reached its full length; nothing when no
			/// try grew long enough.
			std::optional<bool> place(const PendingBranch& item)
			{
				std::vector<Exclusion> exclusions;
				if (item.parent >= 0)
				{
					const Branch& parent = m_branches[static_cast<size_t>(item.parent)];
					exclusions.push_back({item.parent, item.start, 1.3 * (parent.radius + item.radius + m_scale.gap)});
					// The first child of this parent, when it was placed just before.
					if (!m_branches.empty() && m_branches.back().parent == item.parent)
						exclusions.push_back(
						    {static_cast<int>(m_branches.size()) - 1, item.start, siblingReach(m_branches.back().radius, item.radius)});
				}
				const double minLength = item.parent < 0 ? 4.0 * item.radius : siblingReach(item.radius, item.radius) + item.radius;

				std::vector<Eigen::Vector3d> best;
				double bestLength = 0.0;
				bool bestComplete = false;
				for (int attempt = 0; attempt < kBranchAttempts; ++attempt)
				{
					Eigen::Vector3d direction = item.direction;
					if (attempt > 0)
					{
						const Eigen::Vector3d axis = m_random.perpendicular(direction);
						const double angle = m_random.uniform(0.1, 0.6);
						direction = Eigen::AngleAxisd(angle, axis) * direction;
					}
					bool complete = false;
					std::vector<Eigen::Vector3d> points = grow(item, direction, exclusions, complete);
					double length = 0.0;
					for (size_t k = 1; k < points.size(); ++k)
						length += (points[k] - points[k - 1]).norm();
					if (length > bestLength)
					{
						best = std::move(points);
						bestLength = length;
						bestComplete = complete;
					}
					if (complete)
						break;
				}
				if (bestLength < minLength || best.size() < 2)
					return std::nullopt;
				Branch branch;
				branch.points = std::move(best);
				branch.radius = item.radius;
				branch.parent = item.parent;
				branch.generation = item.generation;
				const int owner = static_cast<int>(m_branches.size());
				for (size_t k = 1; k < branch.points.size(); ++k)
					m_index.addPiece(branch.points[k - 1], branch.points[k], branch.radius, owner);
				m_branches.push_back(std::move(branch));
				return bestComplete;
			}

			/// Distance from a bifurcation beyond which two siblings at 60° or more apart keep the gap.
			double siblingReach(double radius1, double radius2) const { return 1.2 * (radius1 + radius2 + m_scale.gap); }

			/// The polyline of a gently bending tube from the item's start, cut where it would leave the
			/// volume or come too close to a placed vessel.
			std::vector<Eigen::Vector3d> grow(const PendingBranch& item, Eigen::Vector3d direction,
			                                  const std::vector<Exclusion>& exclusions, bool& complete)
			{
				const double radius = item.radius;
				const int steps = std::max(2, static_cast<int>(std::ceil(item.length / std::max(0.5 * radius, m_scale.coarsest))));
				const double step = item.length / steps;
				std::vector<Eigen::Vector3d> points{item.start};
				Eigen::Vector3d bendAxis = m_random.perpendicular(direction);
				complete = false;
				for (int k = 1; k <= steps; ++k)
				{
					// The bending axis drifts slowly, so the tube curves in arcs of radius ≥ 8 r.
					bendAxis += 0.6 * m_random.perpendicular(direction);
					bendAxis = (bendAxis - bendAxis.dot(direction) * direction).normalized();
					direction = (Eigen::AngleAxisd(m_random.uniform() * step / (8.0 * radius), bendAxis) * direction).normalized();
					const Eigen::Vector3d next = points.back() + step * direction;
					if (!m_scale.inside(next, radius) || !m_index.isPieceClear(points.back(), next, radius, m_scale.gap, exclusions))
						return points;
					points.push_back(next);
				}
				complete = true;
				return points;
			}

			/// The radius of an anastomosis between two branches: thinner than both, but not below the
			/// smallest radius.
			double connectorRadius(const Branch& first, const Branch& second) const
			{
				return std::max(m_scale.minRadius, std::min(first.radius, second.radius) * kRadiusRatio);
			}

			/// True when point `i` of the branch lies far enough from the branch's ends and from the
			/// anastomoses and bumps already on it to carry one more thing of radius `radius`. An
			/// anastomosis (`joint`) keeps twice that distance from the ends, so that its junction does not
			/// merge with a bifurcation.
			bool isAttachable(int branchIndex, int i, double radius, bool joint) const
			{
				const Branch& branch = m_branches[static_cast<size_t>(branchIndex)];
				if (branch.connector || i < 1 || i + 1 >= static_cast<int>(branch.points.size()))
					return false;
				const double keep = branch.radius + radius + m_scale.gap;
				const double keepFromEnds = joint ? keep + 0.5 * branch.radius : keep;
				double fromStart = 0.0;
				for (int k = 1; k <= i; ++k)
					fromStart += (branch.points[static_cast<size_t>(k)] - branch.points[static_cast<size_t>(k - 1)]).norm();
				if (fromStart < keepFromEnds || branch.length() - fromStart < keepFromEnds)
					return false;
				const Eigen::Vector3d& point = branch.points[static_cast<size_t>(i)];
				for (const auto& [other, at] : m_attachments)
					if (other == branchIndex && (branch.points[static_cast<size_t>(at)] - point).norm() < keep)
						return false;
				return true;
			}

			/// The attachable points of a branch, thinned out to at most a dozen evenly spread ones.
			std::vector<int> attachablePoints(int branchIndex, double radius, bool joint) const
			{
				std::vector<int> points;
				for (int i = 1; i + 1 < static_cast<int>(m_branches[static_cast<size_t>(branchIndex)].points.size()); ++i)
					if (isAttachable(branchIndex, i, radius, joint))
						points.push_back(i);
				constexpr size_t kMost = 12;
				if (points.size() <= kMost)
					return points;
				std::vector<int> spread;
				for (size_t k = 0; k < kMost; ++k)
					spread.push_back(points[k * (points.size() - 1) / (kMost - 1)]);
				return spread;
			}

			/// A candidate anastomosis: from point `i` of branch `a` to point `j` of branch `b`.
			struct LoopOption
			{
				int a;
				int i;
				int b;
				int j;
			};

			/// Every pair of attachable points of two tree branches that suits a connector (none when
			/// `count` is 0), in the order of the branches and their points.
			std::vector<LoopOption> loopOptions(int count) const
			{
				std::vector<LoopOption> options;
				const int treeBranches = static_cast<int>(m_branches.size());
				const double steep = std::cos(50.0 * kPi / 180.0);
				for (int a = 0; a < treeBranches && count > 0; ++a)
					for (int b = a + 1; b < treeBranches; ++b)
					{
						const Branch& first = m_branches[static_cast<size_t>(a)];
						const Branch& second = m_branches[static_cast<size_t>(b)];
						const double radius = connectorRadius(first, second);
						// Between the walls the connector is long next to its own radius and to the branches'
						// radii, so the branches stay well apart where it joins them.
						const double wallGap = std::max({2.0 * m_scale.gap, 6.0 * radius, 3.0 * std::max(first.radius, second.radius)});
						for (int i : attachablePoints(a, radius, true))
							for (int j : attachablePoints(b, radius, true))
							{
								const Eigen::Vector3d offset = second.points[static_cast<size_t>(j)] - first.points[static_cast<size_t>(i)];
								const double distance = offset.norm();
								// Long enough to show between the two walls, short enough to look like a vessel,
								// and leaving both branches steeply, so that it runs along neither.
								if (distance < first.radius + second.radius + wallGap || distance > 0.4 * m_scale.size ||
								    std::abs(offset.dot(first.tangent(i))) > steep * distance ||
								    std::abs(offset.dot(second.tangent(j))) > steep * distance)
									continue;
								options.push_back({a, i, b, j});
							}
					}
				return options;
			}

			/// Adds the connector of `option` when its ends are still attachable, it leaves an open hole
			/// and its tube keeps clear of every other tube; true when it was added.
			bool addConnector(const LoopOption& option)
			{
				const Branch& first = m_branches[static_cast<size_t>(option.a)];
				const Branch& second = m_branches[static_cast<size_t>(option.b)];
				const double radius = connectorRadius(first, second);
				if (!isAttachable(option.a, option.i, radius, true) || !isAttachable(option.b, option.j, radius, true) ||
				    !hasOpenHole(option.a, option.i, option.b, option.j, radius))
					return false;
				const Eigen::Vector3d from = first.points[static_cast<size_t>(option.i)];
				const Eigen::Vector3d to = second.points[static_cast<size_t>(option.j)];
				// It leaves each branch at 50° or more, so beyond this reach it keeps the gap from it.
				const std::vector<Exclusion> exclusions{{option.a, from, 1.3 * (first.radius + radius + m_scale.gap) / 0.766},
				                                        {option.b, to, 1.3 * (second.radius + radius + m_scale.gap) / 0.766}};
				if (!m_index.isPieceClear(from, to, radius, m_scale.gap, exclusions))
					return false;
				Branch connector;
				connector.points = {from, to};
				connector.radius = radius;
				connector.connector = true;
				connector.fromBranch = option.a;
				connector.fromPoint = option.i;
				connector.toBranch = option.b;
				connector.toPoint = option.j;
				m_attachments.push_back({option.a, option.i});
				m_attachments.push_back({option.b, option.j});
				m_index.addPiece(from, to, radius, static_cast<int>(m_branches.size()));
				m_branches.push_back(std::move(connector));
				return true;
			}

			/// The branch and its ancestors, up to the root.
			std::vector<int> lineage(int branchIndex) const
			{
				std::vector<int> chain;
				for (int b = branchIndex; b >= 0; b = m_branches[static_cast<size_t>(b)].parent)
					chain.push_back(b);
				return chain;
			}

			/// The first of `a`'s lineage that is also in `b`'s: their common ancestor, if any.
			std::optional<int> commonAncestor(int a, int b) const
			{
				const std::vector<int> up = lineage(a);
				const std::vector<int> down = lineage(b);
				for (int candidate : up)
					if (std::find(down.begin(), down.end(), candidate) != down.end())
						return candidate;
				return std::nullopt;
			}

			/// The tubes of a cycle as pieces with their radius.
			struct Cycle
			{
				std::vector<std::pair<Eigen::Vector3d, Eigen::Vector3d>> pieces;
				std::vector<double> radii;

				void add(const Eigen::Vector3d& p, const Eigen::Vector3d& q, double r)
				{
					pieces.emplace_back(p, q);
					radii.push_back(r);
				}
			};

			/// The cycle that an anastomosis of radius `radius` from point `i` of branch `a` to point `j`
			/// of branch `b` closes: from the joint on each branch back towards the common ancestor,
			/// whose end (or the joint on it) closes the cycle, then the anastomosis itself.
			Cycle loopCycle(int a, int i, int b, int j, double radius) const
			{
				const std::optional<int> common = commonAncestor(a, b);
				Cycle cycle;
				const auto walkBack = [&](int branchIndex, int point)
				{
					// Along the branch from `point` to its start, then the ancestors up to `common`.
					for (int branchAt = branchIndex; branchAt != common && branchAt >= 0;
					     branchAt = m_branches[static_cast<size_t>(branchAt)].parent)
					{
						const Branch& branch = m_branches[static_cast<size_t>(branchAt)];
						const int from = branchAt == branchIndex ? point : static_cast<int>(branch.points.size()) - 1;
						for (int k = from; k > 0; --k)
							cycle.add(branch.points[static_cast<size_t>(k)], branch.points[static_cast<size_t>(k - 1)], branch.radius);
					}
				};
				const auto walkForward = [&](int branchIndex, int point)
				{
					// The ancestor's own stretch from the joint on it to its end.
					const Branch& branch = m_branches[static_cast<size_t>(branchIndex)];
					for (int k = point; k + 1 < static_cast<int>(branch.points.size()); ++k)
						cycle.add(branch.points[static_cast<size_t>(k)], branch.points[static_cast<size_t>(k + 1)], branch.radius);
				};
				if (common == a)
				{
					walkForward(a, i);
					walkBack(b, j);
				}
				else if (common == b)
				{
					walkForward(b, j);
					walkBack(a, i);
				}
				else
				{
					walkBack(a, i);
					walkBack(b, j);
				}
				cycle.add(m_branches[static_cast<size_t>(a)].points[static_cast<size_t>(i)],
				          m_branches[static_cast<size_t>(b)].points[static_cast<size_t>(j)], radius);
				return cycle;
			}

			/// True when the cycle that an anastomosis of radius `radius` from point `i` of branch `a` to
			/// point `j` of branch `b` closes (through the tree back from b to a) leaves a hole: its
			/// centroid keeps the clearance, and at least the largest radius on the cycle, from every tube
			/// of the cycle.
			bool hasOpenHole(int a, int i, int b, int j, double radius) const
			{
				const Cycle cycle = loopCycle(a, i, b, j, radius);
				const auto& pieces = cycle.pieces;
				const auto& radii = cycle.radii;
				Eigen::Vector3d centroid = Eigen::Vector3d::Zero();
				double length = 0.0;
				double largest = 0.0;
				for (size_t k = 0; k < pieces.size(); ++k)
				{
					const double pieceLength = (pieces[k].second - pieces[k].first).norm();
					centroid += 0.5 * pieceLength * (pieces[k].first + pieces[k].second);
					length += pieceLength;
					largest = std::max(largest, radii[k]);
				}
				if (length <= 0.0)
					return false;
				centroid /= length;
				const double needed = std::max(m_scale.gap, largest);
				for (size_t k = 0; k < pieces.size(); ++k)
				{
					const Eigen::Vector3d axis = pieces[k].second - pieces[k].first;
					const double t =
					    axis.squaredNorm() > 0.0 ? std::clamp((centroid - pieces[k].first).dot(axis) / axis.squaredNorm(), 0.0, 1.0) : 0.0;
					if ((centroid - (pieces[k].first + t * axis)).norm() - radii[k] < needed)
						return false;
				}
				return true;
			}

			const Scale& m_scale;
			Random m_random;
			ClearanceIndex m_index;
			double m_rootRadius;
			std::vector<Branch> m_branches;
			/// (branch, point) pairs that carry an anastomosis or a bump.
			std::vector<std::pair<int, int>> m_attachments;
		};

		/// A piece of centreline between two nodes while the segments are assembled.
		struct Piece
		{
			int from;
			int to;
			std::vector<Eigen::Vector3d> points;
			std::vector<double> radii;
			bool connector;
			bool alive = true;
		};

		/// The nodes of the centreline before pieces are joined: both ends of every tree branch (a
		/// child starts at its parent's end) and every point that carries an anastomosis.
		struct CenterlineNodes
		{
			std::vector<Eigen::Vector3d> points;
			std::vector<int> startNode;
			std::vector<int> endNode;
			std::map<std::pair<int, int>, int> attachmentNode;
		};

		CenterlineNodes placeNodes(const std::vector<Branch>& branches)
		{
			CenterlineNodes nodes;
			nodes.startNode.assign(branches.size(), -1);
			nodes.endNode.assign(branches.size(), -1);
			const auto addNode = [&](const Eigen::Vector3d& point)
			{
				nodes.points.push_back(point);
				return static_cast<int>(nodes.points.size()) - 1;
			};
			for (size_t b = 0; b < branches.size(); ++b)
			{
				if (branches[b].connector)
					continue;
				nodes.startNode[b] =
				    branches[b].parent >= 0 ? nodes.endNode[static_cast<size_t>(branches[b].parent)] : addNode(branches[b].points.front());
				nodes.endNode[b] = addNode(branches[b].points.back());
			}
			for (const Branch& branch : branches)
				if (branch.connector)
				{
					nodes.attachmentNode.emplace(std::make_pair(branch.fromBranch, branch.fromPoint), -1);
					nodes.attachmentNode.emplace(std::make_pair(branch.toBranch, branch.toPoint), -1);
				}
			for (auto& [where, node] : nodes.attachmentNode)
				node = addNode(branches[static_cast<size_t>(where.first)].points[static_cast<size_t>(where.second)]);
			return nodes;
		}

		/// Cuts every tree branch into pieces at its anastomosis points; a connector is one piece.
		std::vector<Piece> cutPieces(const std::vector<Branch>& branches, const CenterlineNodes& nodes)
		{
			std::vector<Piece> pieces;
			for (size_t b = 0; b < branches.size(); ++b)
			{
				const Branch& branch = branches[b];
				if (branch.connector)
				{
					pieces.push_back({nodes.attachmentNode.at({branch.fromBranch, branch.fromPoint}),
					                  nodes.attachmentNode.at({branch.toBranch, branch.toPoint}), branch.points,
					                  std::vector<double>(branch.points.size(), branch.radius), true});
					continue;
				}
				int pieceStart = 0;
				int pieceNode = nodes.startNode[b];
				const int last = static_cast<int>(branch.points.size()) - 1;
				for (int i = 1; i <= last; ++i)
				{
					const auto attachment = nodes.attachmentNode.find({static_cast<int>(b), i});
					const bool cut = i == last || attachment != nodes.attachmentNode.end();
					if (!cut)
						continue;
					const int node = i == last ? nodes.endNode[b] : attachment->second;
					Piece piece{pieceNode, node, {}, {}, false};
					piece.points.assign(branch.points.begin() + pieceStart, branch.points.begin() + i + 1);
					piece.radii.assign(piece.points.size(), branch.radius);
					pieces.push_back(std::move(piece));
					pieceStart = i;
					pieceNode = node;
				}
			}
			return pieces;
		}

		/// Turns the piece around: `from` and `to`, points and radii.
		void turnAround(Piece& piece)
		{
			std::swap(piece.from, piece.to);
			std::reverse(piece.points.begin(), piece.points.end());
			std::reverse(piece.radii.begin(), piece.radii.end());
		}

		/// Joins the two pieces at every node of degree two; the second of each pair dies.
		void joinAtDegreeTwo(std::vector<Piece>& pieces, size_t nodeCount)
		{
			std::vector<std::vector<int>> incident(nodeCount);
			for (size_t p = 0; p < pieces.size(); ++p)
			{
				incident[static_cast<size_t>(pieces[p].from)].push_back(static_cast<int>(p));
				incident[static_cast<size_t>(pieces[p].to)].push_back(static_cast<int>(p));
			}
			for (size_t node = 0; node < nodeCount; ++node)
			{
				std::vector<int>& at = incident[node];
				if (at.size() != 2 || at[0] == at[1])
					continue;
				Piece& first = pieces[static_cast<size_t>(at[0])];
				Piece& second = pieces[static_cast<size_t>(at[1])];
				// Orient first → node → second.
				if (first.to != static_cast<int>(node))
					turnAround(first);
				if (second.from != static_cast<int>(node))
					turnAround(second);
				first.points.insert(first.points.end(), second.points.begin() + 1, second.points.end());
				first.radii.insert(first.radii.end(), second.radii.begin() + 1, second.radii.end());
				first.to = second.to;
				first.connector = first.connector || second.connector;
				second.alive = false;
				std::replace(incident[static_cast<size_t>(second.to)].begin(), incident[static_cast<size_t>(second.to)].end(), at[1],
				             at[0]);
				at.clear();
			}
		}

		/// Cuts the branches into pieces at their junctions and anastomoses, then joins the pieces
		/// that meet at nodes of two pieces (a branch with a single child), and numbers the nodes.
		void assembleCenterline(const std::vector<Branch>& branches, VesselTree& tree)
		{
			const CenterlineNodes nodes = placeNodes(branches);
			std::vector<Piece> pieces = cutPieces(branches, nodes);
			joinAtDegreeTwo(pieces, nodes.points.size());

			// Number the nodes that remain in order of first use.
			std::vector<int> renumbered(nodes.points.size(), -1);
			for (Piece& piece : pieces)
			{
				if (!piece.alive)
					continue;
				for (int* end : {&piece.from, &piece.to})
				{
					if (renumbered[static_cast<size_t>(*end)] < 0)
					{
						renumbered[static_cast<size_t>(*end)] = static_cast<int>(tree.nodes.size());
						tree.nodes.push_back(nodes.points[static_cast<size_t>(*end)]);
					}
					*end = renumbered[static_cast<size_t>(*end)];
				}
				tree.segments.push_back({piece.from, piece.to, std::move(piece.points), std::move(piece.radii), piece.connector});
			}
			for (int node = 0; node < static_cast<int>(tree.nodes.size()); ++node)
			{
				const int degree = tree.degree(node);
				if (degree >= 3)
					tree.branchPoints.push_back(node);
				else if (degree == 1)
					tree.freeEnds.push_back(node);
			}
		}
	}

	int VesselTree::degree(int node) const
	{
		int count = 0;
		for (const Segment& segment : segments)
			count += (segment.from == node ? 1 : 0) + (segment.to == node ? 1 : 0);
		return count;
	}

	double VesselTree::totalLength() const
	{
		double length = 0.0;
		for (const Segment& segment : segments)
			for (size_t i = 1; i < segment.points.size(); ++i)
				length += (segment.points[i] - segment.points[i - 1]).norm();
		return length;
	}

	VesselTree createVesselTree(const TreeSettings& settings)
	{
		if ((settings.dimensions.array() < 32).any())
			throw std::invalid_argument("A synthetic vessel tree needs at least 32 voxels on every axis.");
		if (!(settings.spacing.array() > 0.0).all() || !settings.spacing.allFinite())
			throw std::invalid_argument("The spacing of a synthetic vessel tree must be positive and finite.");
		if (settings.loops < 0 || settings.spurs < 0)
			throw std::invalid_argument("The numbers of loops and spurs must not be negative.");

		Scale scale;
		scale.spacing = settings.spacing;
		scale.halfExtent = 0.5 * (settings.dimensions.cast<double>() - Eigen::Vector3d::Ones()).cwiseProduct(settings.spacing);
		scale.coarsest = settings.spacing.maxCoeff();
		scale.minRadius = 1.5 * scale.coarsest;
		scale.gap = 6.0 * scale.coarsest;
		scale.size = 2.0 * scale.halfExtent.minCoeff();
		// At most ten coarsest voxels: a thinning strays from the true centreline near a junction over a
		// stretch that grows with the radius in voxels, so ever thicker vessels in larger volumes would
		// measure the size of the junctions rather than the extraction.
		const double rootRadius = std::max(std::min(0.04 * scale.size, 10.0 * scale.coarsest), 2.0 * scale.minRadius);

		TreeBuilder builder(settings, scale, rootRadius);
		builder.growTree();
		VesselTree tree;
		tree.loops = builder.addLoops(settings.loops);
		tree.spurs = builder.addSpurs(settings.spurs);

		tree.labels = SyntheticVolumes::createLabelVolume(settings.dimensions, settings.spacing);
		SharedImage& image = *tree.labels->get();
		for (const Branch& branch : builder.branches())
		{
			tree.generations = std::max(tree.generations, branch.generation);
			for (size_t i = 0; i < branch.points.size(); ++i)
			{
				if (i > 0)
					SyntheticVolumes::paintTube(image, {branch.points[i - 1], branch.points[i], branch.radius});
				SyntheticVolumes::paintBall(image, {branch.points[i], branch.radius});
			}
		}
		for (const Bump& bump : tree.spurs)
			SyntheticVolumes::paintBall(image, {bump.centre, bump.radius});
		assembleCenterline(builder.branches(), tree);
		return tree;
	}
}
