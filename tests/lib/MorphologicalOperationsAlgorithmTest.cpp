#include "host/lib/MorphologicalOperationsAlgorithm.h"

#include "host/core/Log.h"
#include "host/core/Progress.h"
#include "tests/lib/BinaryVolumes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Quorvale;
using namespace BinaryVolumes;

namespace
{
	/// The closing by definition: dilation by the digital ball (offsets of squared length at most
	/// r^2), then erosion by it, on a grid padded by r (as if the image went on with background).
	std::unique_ptr<Mask> referenceClosing(const Mask& m, int r)
	{
		const Eigen::Vector3i n = m.descriptor().dimensions();
		const int rz = n.z() > 1 ? r : 0;
		auto dilated = [&](int x, int y, int z)
		{
			for (int dz = -rz; dz <= rz; ++dz)
				for (int dy = -r; dy <= r; ++dy)
					for (int dx = -r; dx <= r; ++dx)
						if (dx * dx + dy * dy + dz * dz <= r * r && at(m, x + dx, y + dy, z + dz))
							return true;
			return false;
		};
		auto closed = m.clone();
		for (int z = 0; z < n.z(); ++z)
			for (int y = 0; y < n.y(); ++y)
				for (int x = 0; x < n.x(); ++x)
				{
					bool all = true;
					for (int dz = -rz; dz <= rz && all; ++dz)
						for (int dy = -r; dy <= r && all; ++dy)
							for (int dx = -r; dx <= r && all; ++dx)
								if (dx * dx + dy * dy + dz * dz <= r * r)
									all = dilated(x + dx, y + dy, z + dz);
					closed->at(x, y, z) = all || m.at(x, y, z) != 0 ? 1 : 0;
				}
		return closed;
	}

	std::unique_ptr<SharedImageSet> setOf(std::unique_ptr<MemImage> mem)
	{
		auto image = std::make_unique<SharedImage>(std::move(mem), "vessels");
		image->setModality(Data::LabelMap);
		Eigen::Matrix4d placement = Eigen::Matrix4d::Identity();
		placement(1, 3) = 4.0;
		image->setMatrixToWorld(placement);
		return std::make_unique<SharedImageSet>(std::move(image), "set");
	}

	std::unique_ptr<SharedImageSet> run(SharedImageSet& set, int mode, int size, bool inPlace, int expectedStatus = Algorithm::Success)
	{
		MorphologicalOperationsAlgorithm algorithm(set);
		algorithm.setOpMode(mode);
		algorithm.setOpSize(size);
		algorithm.setInPlace(inPlace);
		algorithm.compute();
		EXPECT_EQ(algorithm.status(), expectedStatus);
		return algorithm.takeOutput().extractFirstImage();
	}

	const Mask& maskOf(const SharedImageSet& set) { return dynamic_cast<const Mask&>(*set.mem(0)); }

	class CountingProgress : public Progress
	{
	public:
		void update(double fraction, const std::string&) override
		{
			EXPECT_GE(fraction, last);
			last = fraction;
			++calls;
		}
		double last = 0.0;
		int calls = 0;
	};
}

TEST(MorphologicalOperationsAlgorithmTest, ClosingBridgesAGapAndKeepsLabels)
{
	// Two 3x3 bars along x with a gap of two voxels at x = 6 and 7.
	auto mem = empty(14, 7, 7);
	box(*mem, {1, 2, 2}, {5, 4, 4});
	box(*mem, {8, 2, 2}, {12, 4, 4});
	mem->at(3, 3, 3) = 5;
	const auto expected = referenceClosing(*mem, 2);
	auto set = setOf(std::move(mem));
	auto out = run(*set, MorphologicalOperationsAlgorithm::Closing, 2, false);
	ASSERT_TRUE(out);
	const Mask& closed = maskOf(*out);
	// Every ball of radius 2 through the middle of the gap meets a bar; through a voxel on the
	// gap's faces, the ball centred two voxels further out passes beside both bars.
	for (int x = 6; x <= 7; ++x)
	{
		EXPECT_EQ(closed.at(x, 3, 3), 1);
		EXPECT_EQ(closed.at(x, 2, 3), 0);
		EXPECT_EQ(closed.at(x, 3, 4), 0);
		EXPECT_EQ(closed.at(x, 2, 2), 0);
	}
	for (std::size_t i = 0; i < closed.descriptor().size(); ++i)
		ASSERT_EQ(closed.pointer()[i] != 0, expected->pointer()[i] != 0) << i;
	EXPECT_EQ(closed.at(3, 3, 3), 5) << "voxels of the object keep their value";
	EXPECT_EQ(maskOf(*set).at(6, 3, 3), 0) << "the input is unchanged when not in place";
	EXPECT_EQ(out->get(0)->name(), "vessels");
	EXPECT_EQ(out->get(0)->modality(), Data::LabelMap);
	EXPECT_EQ(out->matrixToWorld()(1, 3), 4.0);
}

TEST(MorphologicalOperationsAlgorithmTest, ClosingEqualsTheDefinitionOnRandomShapes)
{
	for (unsigned seed = 1; seed <= 4; ++seed)
	{
		const Eigen::Vector3i size = seed % 2 ? Eigen::Vector3i(11, 9, 8) : Eigen::Vector3i(17, 13, 1);
		auto blob = randomBlob(size, 0, 0.25, seed);
		const auto expected = referenceClosing(*blob, 1 + static_cast<int>(seed) % 3);
		auto set = setOf(std::move(blob));
		auto out = run(*set, MorphologicalOperationsAlgorithm::Closing, 1 + static_cast<int>(seed) % 3, false);
		ASSERT_TRUE(out);
		const Mask& closed = maskOf(*out);
		EXPECT_TRUE(std::equal(closed.pointer(), closed.pointer() + closed.descriptor().size(), expected->pointer())) << "seed " << seed;
	}
}

TEST(MorphologicalOperationsAlgorithmTest, ClosingKeepsLargeHolesAndObjectsAtTheBorderInPlace)
{
	// A ring in a plane whose hole is wider than the ball, touching the image border.
	auto mem = TypedImage<float>::create({13, 13, 1});
	for (int y = 0; y < 13; ++y)
		for (int x = 0; x < 13; ++x)
		{
			const double r = std::hypot(x - 6.0, y - 6.0);
			mem->at(x, y) = r >= 4.0 && r <= 6.5 ? 2.5f : 0.0f;
		}
	mem->at(6, 6) = std::numeric_limits<float>::quiet_NaN(); // not part of the object
	auto set = setOf(std::move(mem));
	EXPECT_FALSE(run(*set, MorphologicalOperationsAlgorithm::Closing, 2, true)) << "in place there is no output";
	const auto& closed = dynamic_cast<const TypedImage<float>&>(*set->mem(0));
	EXPECT_EQ(closed.at(6, 6 - 4), 2.5f);
	EXPECT_EQ(closed.at(6, 0), 2.5f) << "object voxels at the border stay";
	EXPECT_TRUE(std::isnan(closed.at(6, 6))) << "the hole stays open";
	EXPECT_EQ(closed.at(6, 4), 0.0f);
	EXPECT_EQ(closed.at(0, 0), 0.0f) << "the corner outside the ring stays background";
}

TEST(MorphologicalOperationsAlgorithmTest, SkeletonIsANewZeroOneByteImageOrWrittenInPlace)
{
	auto mem = TypedImage<unsigned short>::create({9, 9, 20});
	for (int z = 2; z < 18; ++z)
		for (int y = 2; y <= 6; ++y)
			for (int x = 2; x <= 6; ++x)
				mem->at(x, y, z) = 300;
	auto set = setOf(std::move(mem));
	auto out = run(*set, MorphologicalOperationsAlgorithm::Skeletonization, 0, false);
	ASSERT_TRUE(out);
	ASSERT_EQ(out->get(0)->descriptor().pixelType(), ImageDescriptor::UnsignedChar);
	const Mask& skeleton = maskOf(*out);
	EXPECT_EQ(topology(skeleton), (Topology{1, 0, 0}));
	for (int z = 0; z < 20; ++z)
		for (int y = 0; y < 9; ++y)
			for (int x = 0; x < 9; ++x)
				if (skeleton.at(x, y, z))
				{
					EXPECT_EQ(skeleton.at(x, y, z), 1);
					EXPECT_TRUE(x == 4 && y == 4) << x << "," << y << "," << z;
				}

	CountingProgress progress;
	MorphologicalOperationsAlgorithm inPlace(*set);
	inPlace.setOpMode(MorphologicalOperationsAlgorithm::Skeletonization);
	inPlace.setInPlace(true);
	inPlace.setProgress(&progress);
	inPlace.compute();
	ASSERT_EQ(inPlace.status(), Algorithm::Success);
	EXPECT_GT(progress.calls, 0);
	EXPECT_EQ(progress.last, 1.0);
	const auto& written = dynamic_cast<const TypedImage<unsigned short>&>(*set->mem(0));
	for (int z = 0; z < 20; ++z)
		for (int y = 0; y < 9; ++y)
			for (int x = 0; x < 9; ++x)
				EXPECT_EQ(written.at(x, y, z), skeleton.at(x, y, z)) << x << "," << y << "," << z;
}

TEST(MorphologicalOperationsAlgorithmTest, InvalidRequestsFailWithStatusTwoAndAMessage)
{
	auto failsWith = [](SharedImageSet& set, int mode, int size, const std::string& part)
	{
		Log::ScopedCapture capture;
		EXPECT_FALSE(run(set, mode, size, false, Algorithm::InvalidInput)) << part;
		const auto messages = capture.sink().messages(Log::Error);
		ASSERT_EQ(messages.size(), 1u) << part;
		EXPECT_NE(messages[0].find(part), std::string::npos) << messages[0];
	};
	SharedImageSet none;
	failsWith(none, MorphologicalOperationsAlgorithm::Closing, 1, "holds no image");
	auto set = setOf(empty(4, 4, 4));
	failsWith(*set, 1, 1, "operation 1 is not available");
	failsWith(*set, MorphologicalOperationsAlgorithm::Closing, -1, "radius of 0 to");
	failsWith(*set, MorphologicalOperationsAlgorithm::Closing, 1 << 30, "radius of 0 to");
	auto colour = setOf(TypedImage<unsigned char>::create({4, 4, 1}, 3));
	failsWith(*colour, MorphologicalOperationsAlgorithm::Skeletonization, 0, "one-channel");
	auto untyped = setOf(MemImage::create(ImageDescriptor(ImageDescriptor::Bytes4, {2, 2, 1})));
	failsWith(*untyped, MorphologicalOperationsAlgorithm::Closing, 1, "untyped");
}
