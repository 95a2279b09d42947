#include <cfloat>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "host/gl/Context.h"
#include "host/gl/ContextGuard.h"
#include "host/gl/Policy.h"
#include "host/gl/Program.h"
#include "host/lib/SharedImageSet.h"
#include "src/imaging/GradientTransform.h"
#include "src/imaging/ImageAssignment.h"
#include "src/imaging/MaxReduction.h"
#include "tests/imaging/ImagingTestUtils.h"

// The plug-in's expressions evaluated on the GPU (forced, also on a software renderer) against
// the CPU kernels. The CPU computes in double, the GPU in float, so:
// - float targets agree within 8 float epsilons of the summed magnitudes of the terms;
// - integer targets agree exactly, except where the exact value lies within that band of a
//   rounding boundary (x.5), where float may round the other way: those are counted and allowed.
namespace Quorvale::ImagingTest
{
	namespace
	{
		/// Sets a policy for one test and restores the previous one.
		class PolicyScope
		{
		public:
			explicit PolicyScope(GL::Policy policy)
			    : m_previous(GL::policy())
			{
				GL::setPolicy(policy);
			}
			~PolicyScope() { GL::setPolicy(m_previous); }

		private:
			GL::Policy m_previous;
		};

		void makeResident(SharedImage& image)
		{
			GL::ContextGuard guard;
			image.gl();
		}

		const Eigen::Vector3i kSizes[] = {{1, 1, 1}, {5, 3, 7}, {4, 3, 8}, {3, 4, 9}};

		Eigen::Matrix3d fractionalMatrix()
		{
			Eigen::Matrix3d m;
			m << 0.37, -1.25, 2.0, 0.5, 0.1, -0.7, 3.0, 0.25, -0.5;
			return m;
		}

		bool sameValue(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

		/// Tallies of one comparison.
		struct Agreement
		{
			int elements = 0;
			int nearTies = 0;
			int nearTieMismatches = 0;
			int failures = 0;
		};

		/// Compares the CPU and the GPU result of `matrix` times the channels of `input`.
		template <typename T>
		void compareGradient(const TypedImage<T>& input, const Eigen::Matrix3d& matrix, const TypedImage<T>& cpu, const TypedImage<T>& gpu,
		                     Agreement& agreement)
		{
			const std::size_t pixels = input.descriptor().size();
			for (std::size_t p = 0; p < pixels; ++p)
				for (int c = 0; c < 3; ++c)
				{
					const std::size_t e = 3 * p + static_cast<std::size_t>(c);
					double terms[3], magnitude = 0.0;
					for (int k = 0; k < 3; ++k)
					{
						terms[k] = matrix(c, k) * asDouble(input.pointer()[3 * p + static_cast<std::size_t>(k)]);
						magnitude += std::abs(terms[k]);
					}
					const double exact = (terms[0] + terms[1]) + terms[2];
					const double band = 8.0 * FLT_EPSILON * magnitude + FLT_MIN;
					const double a = asDouble(cpu.pointer()[e]), b = asDouble(gpu.pointer()[e]);
					++agreement.elements;
					if constexpr (std::is_floating_point_v<T>)
					{
						if (!(sameValue(a, b) || std::abs(a - b) <= band))
							++agreement.failures;
					}
					else
					{
						const bool nearTie = std::isfinite(exact) && std::abs(std::abs(exact - std::trunc(exact)) - 0.5) <= band;
						agreement.nearTies += nearTie;
						if (a != b)
							++(nearTie ? agreement.nearTieMismatches : agreement.failures);
					}
				}
		}

		/// Runs the gradient transform of `matrix` on a copy of `input` on the CPU and on the GPU.
		template <typename T>
		void runGradient(const SharedImage& input, const Eigen::Matrix3d& matrix, Agreement& agreement)
		{
			auto cpu = input.clone(), gpu = input.clone();
			ImageMath::ArrayImage cpuArray = arrayOf(*cpu);
			ImageMath::evaluateGradientTransform(cpuArray, ImageMath::makeGradientTransform(cpuArray, matrix, ImageMath::CpuOnly));
			makeResident(*gpu);
			ImageMath::ArrayImage gpuArray = arrayOf(*gpu);
			gpuArray.setDeviceStrategy(ImageMath::GpuFirst);
			ImageMath::evaluateGradientTransform(gpuArray, ImageMath::makeGradientTransform(gpuArray, matrix, ImageMath::GpuFirst));
			ASSERT_FALSE(gpu->hasMem()) << "the GPU path did not run";
			compareGradient<T>(typed<T>(const_cast<SharedImage&>(input)), matrix, typed<T>(*cpu), typed<T>(*gpu), agreement);
		}
	}

	template <typename T>
	class GpuEvaluationTest : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			if (!GL::Context::isAvailable())
				GTEST_SKIP() << GL::Context::failure();
		}
		PolicyScope m_forced{GL::Policy::Always};
	};
	using GpuElementTypes = ::testing::Types<char, unsigned char, short, unsigned short, int, unsigned int, float>;
	TYPED_TEST_SUITE(GpuEvaluationTest, GpuElementTypes);

	TYPED_TEST(GpuEvaluationTest, GradientTransformMatchesTheCpuWithinTheWrittenTolerance)
	{
		using T = TypeParam;
		Agreement agreement;
		unsigned seed = 11;
		for (const Eigen::Vector3i& size : kSizes)
		{
			auto input = makeImage<T>(size, 3);
			fillRandom(typed<T>(*input), seed++);
			runGradient<T>(*input, fractionalMatrix(), agreement);
		}
		EXPECT_EQ(agreement.failures, 0) << agreement.elements << " elements";
		EXPECT_LE(agreement.nearTieMismatches, agreement.nearTies);
		this->RecordProperty("nearTieMismatches", agreement.nearTieMismatches);
	}

	TYPED_TEST(GpuEvaluationTest, NonFiniteConstantsAndWrappedValuesAreStoredAsOnTheCpu)
	{
		using T = TypeParam;
		Eigen::Matrix3d matrix;
		const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
		matrix << inf, 1e3, 0.0, -inf, 0.0, 2.5, nan, -1e20, -2.5;
		auto input = makeImage<T>(Eigen::Vector3i(6, 5, 2), 3);
		fillRandom(typed<T>(*input), 5);
		Agreement agreement;
		runGradient<T>(*input, matrix, agreement);
		EXPECT_EQ(agreement.failures, 0);
		EXPECT_EQ(agreement.nearTieMismatches, 0);
	}

	TYPED_TEST(GpuEvaluationTest, SetAssignmentAppliesBothStorageMappingsAndRoundsHalvesAwayFromZero)
	{
		using T = TypeParam;
		for (const Eigen::Vector3i& size : kSizes)
		{
			auto source = makeImage<T>(size, 2);
			fillRandom(typed<T>(*source), 3);
			source->mem()->setStorageMapping(0.5, 0.0);
			const auto makeDestination = [&](std::unique_ptr<SharedImageSet>& set)
			{
				set = std::make_unique<SharedImageSet>();
				for (int i = 0; i < 2; ++i)
				{
					set->add(makeImage<T>(size, 2));
					set->get(i)->mem()->setStorageMapping(2.0, 1.0);
				}
			};
			std::unique_ptr<SharedImageSet> cpu, gpu;
			makeDestination(cpu);
			makeDestination(gpu);
			SharedImageSet from(source->clone());
			const auto run = [&](SharedImageSet& to, int strategy)
			{
				ImageMath::ArraySet target(to, false, ImageMath::internal::ArrayGl::nearestFilter, ImageMath::internal::ArrayGl::clampToEdge);
				ImageMath::ArraySet values(from, false, ImageMath::internal::ArrayGl::nearestFilter, ImageMath::internal::ArrayGl::clampToEdge);
				target.setDeviceStrategy(strategy);
				values.setDeviceStrategy(strategy);
				ImageMath::assign(target, values);
			};
			run(*cpu, ImageMath::CpuOnly);
			run(*gpu, ImageMath::GpuFirst);
			for (int i = 0; i < 2; ++i)
			{
				EXPECT_FALSE(gpu->get(i)->hasMem()) << "the GPU path did not run";
				const TypedImage<T>& a = typed<T>(*cpu->get(i));
				const TypedImage<T>& b = typed<T>(*gpu->get(i));
				// (s / 2 - 1) / 2 is exact in float: every element matches, ties (s a multiple of 4) included.
				for (std::size_t e = 0; e < a.byteSize() / sizeof(T); ++e)
					ASSERT_EQ(asDouble(a.pointer()[e]), asDouble(b.pointer()[e])) << "element " << e << " of " << size.transpose();
			}
		}
	}

	TYPED_TEST(GpuEvaluationTest, MaximumWithAndWithoutPositionsIsTheCpusExactly)
	{
		using T = TypeParam;
		unsigned seed = 21;
		for (const Eigen::Vector3i& size : kSizes)
			for (int channels : {1, 3})
				for (double slope : {1.0, -0.5})
				{
					auto image = makeImage<T>(size, channels);
					fillRandom(typed<T>(*image), seed++);
					if constexpr (std::is_floating_point_v<T>)
					{
						// NaN never wins, -0 and +0 tie (the first stays), infinity counts.
						T* data = typed<T>(*image).pointer();
						data[0] = std::numeric_limits<T>::quiet_NaN();
						if (size.prod() > 4)
						{
							data[channels] = T(-0.0);
							data[2 * channels] = T(0.0);
							data[3 * channels] = -std::numeric_limits<T>::infinity();
						}
					}
					image->mem()->setStorageMapping(slope, 3.0);
					for (bool withPositions : {false, true})
					{
						ImageMath::ArrayImage cpuArray = arrayOf(*image);
						cpuArray.setDeviceStrategy(ImageMath::CpuOnly);
						ImageMath::MaxReduction<ImageMath::ArrayImage> cpu(cpuArray, ImageMath::ImgOps::max{}, Selection());
						ImageMath::ArrayImage gpuArray = arrayOf(*image);
						gpuArray.setDeviceStrategy(ImageMath::GpuFirst);
						ImageMath::MaxReduction<ImageMath::ArrayImage> gpu(gpuArray, ImageMath::ImgOps::max{}, Selection());
						Eigen::VectorXd expected, actual;
						std::vector<Eigen::Vector4i> expectedPositions, actualPositions;
						cpu.reduce(expected, withPositions ? &expectedPositions : nullptr);
						ASSERT_TRUE(gpu.reduceGl(actual, withPositions ? &actualPositions : nullptr));
						ASSERT_EQ(actual.size(), expected.size());
						for (int c = 0; c < channels; ++c)
							EXPECT_TRUE(sameValue(actual[c], expected[c]) && std::signbit(actual[c]) == std::signbit(expected[c]))
							    << actual[c] << " vs " << expected[c] << ", channel " << c << ", size " << size.transpose();
						EXPECT_EQ(actualPositions, expectedPositions);
					}
				}
	}

	TEST(GpuEvaluationCasesTest, AnImageOfNaNsReducesToTheLowestDoubleOnTheGpu)
	{
		if (!GL::Context::isAvailable())
			GTEST_SKIP() << GL::Context::failure();
		PolicyScope forced(GL::Policy::Always);
		auto image = makeImage<float>(Eigen::Vector3i(3, 2, 2), 2);
		typed<float>(*image).fill(std::numeric_limits<float>::quiet_NaN());
		ImageMath::ArrayImage array = arrayOf(*image);
		array.setDeviceStrategy(ImageMath::GpuFirst);
		ImageMath::MaxReduction<ImageMath::ArrayImage> reduction(array, ImageMath::ImgOps::max{}, Selection());
		Eigen::VectorXd result;
		std::vector<Eigen::Vector4i> positions;
		ASSERT_TRUE(reduction.reduceGl(result, &positions));
		EXPECT_EQ(result, Eigen::VectorXd::Constant(2, std::numeric_limits<double>::lowest()));
		EXPECT_EQ(positions, std::vector<Eigen::Vector4i>(2, Eigen::Vector4i(-1, -1, -1, 0)));
	}

	TEST(GpuEvaluationCasesTest, ASetAssignmentRunsOnTheGpuForDestinationsAlreadyThere)
	{
		if (!GL::Context::isAvailable())
			GTEST_SKIP() << GL::Context::failure();
		PolicyScope forced(GL::Policy::Always);
		auto source = makeImage<float>(Eigen::Vector3i(4, 3, 2), 1);
		fillRandom(typed<float>(*source), 2);
		SharedImageSet from(source->clone()), to;
		to.add(makeImage<float>(Eigen::Vector3i(4, 3, 2), 1));
		to.add(makeImage<float>(Eigen::Vector3i(4, 3, 2), 1));
		makeResident(*to.get(1));
		// The default strategy of float arrays: on the GPU only where the destination is there.
		ImageMath::ArraySet target(to, false, ImageMath::internal::ArrayGl::nearestFilter, ImageMath::internal::ArrayGl::clampToEdge);
		ImageMath::ArraySet values(from, false, ImageMath::internal::ArrayGl::nearestFilter, ImageMath::internal::ArrayGl::clampToEdge);
		ASSERT_EQ(values.deviceStrategy(), ImageMath::GpuIfResident);
		ImageMath::assign(target, values);
		EXPECT_TRUE(to.get(0)->hasMem());
		EXPECT_FALSE(to.get(0)->hasGl());
		EXPECT_FALSE(to.get(1)->hasMem()) << "the resident destination was written on the GPU";
		for (int i = 0; i < 2; ++i)
			EXPECT_EQ(std::memcmp(to.get(i)->mem()->data(), source->mem()->data(), source->mem()->byteSize()), 0) << i;
	}

	TEST(GpuEvaluationCasesTest, ASecondAssignmentCompilesNothing)
	{
		if (!GL::Context::isAvailable())
			GTEST_SKIP() << GL::Context::failure();
		PolicyScope forced(GL::Policy::Always);
		Agreement agreement;
		auto first = makeImage<float>(Eigen::Vector3i(4, 4, 4), 3);
		runGradient<float>(*first, fractionalMatrix(), agreement);
		const std::uint64_t compiled = GL::Program::compilationCount();
		auto second = makeImage<float>(Eigen::Vector3i(7, 2, 9), 3);
		fillRandom(typed<float>(*second), 8);
		runGradient<float>(*second, Eigen::Matrix3d(fractionalMatrix() * 2.0), agreement);
		EXPECT_EQ(GL::Program::compilationCount(), compiled);
		EXPECT_EQ(agreement.failures, 0);
	}

	TEST(GpuEvaluationCasesTest, WithoutOpenGlEveryExpressionRunsOnTheCpu)
	{
		EXPECT_EQ(GL::parsePolicy("none"), GL::Policy::None);
		EXPECT_EQ(GL::parsePolicy("ALWAYS"), GL::Policy::Always);
		EXPECT_EQ(GL::parsePolicy(nullptr), GL::Policy::Default);
		EXPECT_EQ(GL::parsePolicy("sometimes"), std::nullopt);
		PolicyScope off(GL::Policy::None);
		EXPECT_EQ(GL::versionInfo(), Utils::Version());
		EXPECT_FALSE(GL::ContextGuard().isValid());

		auto image = makeImage<short>(Eigen::Vector3i(5, 3, 9), 3);
		fillRandom(typed<short>(*image), 4);
		auto reference = image->clone();
		const std::uint64_t compiled = GL::Program::compilationCount();
		ImageMath::ArrayImage array = arrayOf(*image), referenceArray = arrayOf(*reference);
		array.setDeviceStrategy(ImageMath::GpuFirst);
		ImageMath::evaluateGradientTransform(array, ImageMath::makeGradientTransform(array, fractionalMatrix(), ImageMath::GpuFirst));
		ImageMath::evaluateGradientTransform(referenceArray,
		                                     ImageMath::makeGradientTransform(referenceArray, fractionalMatrix(), ImageMath::CpuOnly));
		EXPECT_TRUE(image->hasMem());
		EXPECT_EQ(std::memcmp(image->mem()->data(), reference->mem()->data(), image->mem()->byteSize()), 0);
		ImageMath::MaxReduction<ImageMath::ArrayImage> reduction(array, ImageMath::ImgOps::max{}, Selection());
		Eigen::VectorXd result;
		EXPECT_FALSE(reduction.reduceGl(result, nullptr));
		EXPECT_EQ(GL::Program::compilationCount(), compiled);
	}

	TEST(GpuEvaluationCasesTest, TwoThreadsAskingForTheGpuAtOnceBothGetCorrectResults)
	{
		if (!GL::Context::isAvailable())
			GTEST_SKIP() << GL::Context::failure();
		PolicyScope forced(GL::Policy::Always);
		Agreement agreements[2];
		const auto work = [&](int thread)
		{
			for (int round = 0; round < 6; ++round)
			{
				auto input = makeImage<float>(Eigen::Vector3i(16, 12, 10), 3);
				fillRandom(typed<float>(*input), static_cast<unsigned>(100 * thread + round));
				auto result = input->clone();
				makeResident(*result);
				ImageMath::ArrayImage array = arrayOf(*result);
				array.setDeviceStrategy(ImageMath::GpuFirst);
				// Declined while the other thread holds the context: then the CPU path runs.
				ImageMath::evaluateGradientTransform(array, ImageMath::makeGradientTransform(array, fractionalMatrix(), ImageMath::GpuFirst));
				auto cpu = input->clone();
				ImageMath::ArrayImage cpuArray = arrayOf(*cpu);
				ImageMath::evaluateGradientTransform(cpuArray,
				                                     ImageMath::makeGradientTransform(cpuArray, fractionalMatrix(), ImageMath::CpuOnly));
				compareGradient<float>(typed<float>(*input), fractionalMatrix(), typed<float>(*cpu), typed<float>(*result),
				                       agreements[thread]);
			}
		};
		std::thread other(work, 1);
		work(0);
		other.join();
		EXPECT_EQ(agreements[0].failures + agreements[1].failures, 0);
		EXPECT_EQ(agreements[0].elements, agreements[1].elements);
	}
}
