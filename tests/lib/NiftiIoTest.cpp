#include "host/lib/NiftiIo.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "tests/common/ScopedEnvironment.h"
#include "tests/common/ScopedFileSizeLimit.h"

#include <Eigen/Geometry>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>

using namespace Quorvale;
namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace
{
	class NiftiIoTest : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			std::random_device seed;
			m_dir = fs::temp_directory_path() / ("quorvale-nifti-" + std::to_string(seed()));
			fs::create_directories(m_dir);
		}
		void TearDown() override { fs::remove_all(m_dir); }

		std::string path(const std::string& name) const { return (m_dir / name).string(); }

		std::vector<unsigned char> readFile(const std::string& file) const
		{
			std::ifstream in(file, std::ios::binary);
			return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
		}

		void writeFile(const std::string& file, const std::vector<unsigned char>& bytes) const
		{
			std::ofstream out(file, std::ios::binary | std::ios::trunc);
			out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
		}

		// Expects loading to fail with a message that names the file and says why.
		void expectLoadError(const std::string& file, const std::string& reason)
		{
			try
			{
				NiftiIo::load(file);
				ADD_FAILURE() << "loading " << file << " did not fail";
			}
			catch (const std::runtime_error& e)
			{
				EXPECT_THAT(e.what(), HasSubstr(file));
				EXPECT_THAT(e.what(), HasSubstr(reason));
			}
		}

		fs::path m_dir;
	};

	// A header built field by field at the offsets of the format, in either byte order.
	class RawHeader
	{
	public:
		explicit RawHeader(bool bigEndian = false)
		    : m_bigEndian(bigEndian)
		    , m_bytes(352, 0)
		{
			setInt(0, 348);
			std::memcpy(&m_bytes[344], "n+1", 4);
			setFloat(108, 352.0f);
			for (int i = 0; i < 8; ++i)
				setFloat(76 + 4 * i, 1.0f);
		}
		/// dim[0] is the number of sizes given.
		void setDims(std::initializer_list<short> dims)
		{
			setShort(40, static_cast<short>(dims.size()));
			int i = 1;
			for (short d : dims)
				setShort(40 + 2 * i++, d);
		}
		void setDatatype(short datatype, short bitpix)
		{
			setShort(70, datatype);
			setShort(72, bitpix);
		}
		void setShort(std::size_t offset, short value) { put(offset, &value, 2); }
		void setInt(std::size_t offset, int value) { put(offset, &value, 4); }
		void setFloat(std::size_t offset, float value) { put(offset, &value, 4); }
		std::vector<unsigned char>& bytes() { return m_bytes; }

	private:
		void put(std::size_t offset, const void* value, std::size_t size)
		{
			std::memcpy(&m_bytes[offset], value, size);
			if (m_bigEndian)
				std::reverse(m_bytes.begin() + static_cast<long>(offset), m_bytes.begin() + static_cast<long>(offset + size));
		}

		bool m_bigEndian;
		std::vector<unsigned char> m_bytes;
	};

	constexpr short DtUint8 = 2, DtInt16 = 4, DtFloat32 = 16, DtRgb24 = 128;
	constexpr std::size_t QformCode = 252, SformCode = 254, Quatern = 256, Srow = 280, Pixdim = 76, Units = 123, Slope = 112;

	Eigen::Matrix4d rotatedPlacement()
	{
		Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
		m.topLeftCorner<3, 3>() = Eigen::AngleAxisd(0.7, Eigen::Vector3d(1, 2, 3).normalized()).toRotationMatrix();
		m.topRightCorner<3, 1>() = Eigen::Vector3d(-12.5, 40.0, 7.25);
		return m;
	}

	// An image with the type's extremes and a pattern of small values, rotated and anisotropic.
	template <typename T>
	std::unique_ptr<SharedImageSet> makeVolume(int channels = 1, Eigen::Vector3i dims = {5, 4, 3})
	{
		auto mem = TypedImage<T>::create(ImageDescriptor(PixelTypeOf<T>::value, dims, channels, {0.5, 1.25, 2.0}));
		const std::size_t count = mem->descriptor().size() * static_cast<std::size_t>(channels);
		for (std::size_t i = 0; i < count; ++i)
			mem->pointer()[i] = static_cast<T>(static_cast<int>(i % 50) - (std::is_signed_v<T> ? 20 : 0));
		mem->pointer()[0] = std::numeric_limits<T>::max();
		mem->pointer()[1] = std::numeric_limits<T>::lowest();
		auto image = std::make_unique<SharedImage>(std::move(mem), "volume");
		image->setMatrixToWorld(rotatedPlacement());
		return std::make_unique<SharedImageSet>(std::move(image));
	}

	void expectSameGeometry(const SharedImage& loaded, const SharedImage& original)
	{
		const ImageDescriptorWorld a = loaded.descriptorWorld(), b = original.descriptorWorld();
		EXPECT_EQ(a.dimensions(), b.dimensions());
		EXPECT_EQ(a.channels(), b.channels());
		EXPECT_TRUE(a.spacing().isApprox(b.spacing(), 1e-6)) << a.spacing().transpose();
		// The file keeps the affine in single precision.
		EXPECT_TRUE(a.matrixToWorld().isApprox(b.matrixToWorld(), 1e-5)) << a.matrixToWorld();
		for (const Eigen::Vector3d& corner : {Eigen::Vector3d(0, 0, 0), Eigen::Vector3d(4, 3, 2), Eigen::Vector3d(4, 0, 2)})
			EXPECT_LT((a.pixelToWorld(corner) - b.pixelToWorld(corner)).norm(), 1e-4);
	}

	template <typename T>
	class NiftiRoundTripTest : public NiftiIoTest
	{
	};

	using ElementTypes = ::testing::Types<char, unsigned char, short, unsigned short, int, unsigned int, float, double>;
	TYPED_TEST_SUITE(NiftiRoundTripTest, ElementTypes, );
}

TYPED_TEST(NiftiRoundTripTest, KeepsValuesSpacingAndPlacement)
{
	const auto original = makeVolume<TypeParam>();
	for (const std::string name : {"volume.nii", "volume.nii.gz"})
	{
		SCOPED_TRACE(name);
		NiftiIo::save(*original, this->path(name));
		const auto loaded = NiftiIo::load(this->path(name));
		ASSERT_EQ(loaded->size(), 1);
		EXPECT_EQ(loaded->name(), "volume");
		const SharedImage& image = *loaded->get();
		EXPECT_EQ(image.descriptor().pixelType(), PixelTypeOf<TypeParam>::value);
		expectSameGeometry(image, *original->get());
		const auto* typed = dynamic_cast<const TypedImage<TypeParam>*>(image.mem());
		ASSERT_NE(typed, nullptr);
		EXPECT_EQ(std::memcmp(typed->pointer(), original->mem()->data(), original->mem()->byteSize()), 0);
	}
}

TEST_F(NiftiIoTest, ChannelsStorageMappingAndFlatImagesRoundTrip)
{
	const auto vectors = makeVolume<float>(3);
	NiftiIo::save(*vectors, path("vectors.nii.gz"));
	const auto loadedVectors = NiftiIo::load(path("vectors.nii.gz"));
	const auto* typed = dynamic_cast<const TypedImage<float>*>(loadedVectors->mem());
	ASSERT_NE(typed, nullptr);
	EXPECT_EQ(typed->descriptor().channels(), 3);
	EXPECT_EQ(std::memcmp(typed->pointer(), vectors->mem()->data(), vectors->mem()->byteSize()), 0);

	auto scaled = makeVolume<unsigned short>(1, {4, 3, 1});
	scaled->mem()->setStorageMapping(0.5, -10);
	NiftiIo::save(*scaled, path("flat.nii"));
	const auto loadedScaled = NiftiIo::load(path("flat.nii"));
	EXPECT_EQ(loadedScaled->get()->descriptor().dimension(), 2);
	EXPECT_DOUBLE_EQ(loadedScaled->get()->descriptor().slope(), 0.5);
	EXPECT_DOUBLE_EQ(loadedScaled->get()->descriptor().intercept(), -10);
	EXPECT_DOUBLE_EQ(loadedScaled->mem()->valueAt({2, 1, 0}, 0, false, 0), scaled->mem()->valueAt({2, 1, 0}, 0, false, 0));

	auto half = std::make_unique<SharedImageSet>(
	    std::make_unique<SharedImage>(MemImage::create(ImageDescriptor(ImageDescriptor::HalfFloat, {2, 2, 2})), "half"));
	NiftiIo::save(*half, path("half.nii"));
	EXPECT_EQ(NiftiIo::load(path("half.nii"))->get()->descriptor().pixelType(), ImageDescriptor::Float);
}

TEST_F(NiftiIoTest, ReadsTheFormsInOrderOfPrecedence)
{
	// qform only: 90 degrees about z (quaternion d = sin 45), pixdim (2, 3, 4), offset (1, 2, 3).
	RawHeader qform;
	qform.setDims({2, 2, 2});
	qform.setDatatype(DtUint8, 8);
	qform.setFloat(Pixdim + 4, 2.0f);
	qform.setFloat(Pixdim + 8, 3.0f);
	qform.setFloat(Pixdim + 12, 4.0f);
	qform.setShort(QformCode, 1);
	qform.setFloat(Quatern + 8, std::sqrt(0.5f));
	qform.setFloat(Quatern + 12, 1.0f);
	qform.setFloat(Quatern + 16, 2.0f);
	qform.setFloat(Quatern + 20, 3.0f);
	std::vector<unsigned char> bytes = qform.bytes();
	bytes.resize(352 + 8, 1);
	writeFile(path("qform.nii"), bytes);
	auto loaded = NiftiIo::load(path("qform.nii"));
	ImageDescriptorWorld w = loaded->get()->descriptorWorld();
	EXPECT_TRUE(w.spacing().isApprox(Eigen::Vector3d(2, 3, 4), 1e-6));
	EXPECT_LT((w.pixelToWorld({0, 0, 0}) - Eigen::Vector3d(1, 2, 3)).norm(), 1e-5);
	EXPECT_LT((w.pixelToWorld({1, 0, 0}) - Eigen::Vector3d(1, 4, 3)).norm(), 1e-5);
	EXPECT_LT((w.pixelToWorld({0, 1, 0}) - Eigen::Vector3d(-2, 2, 3)).norm(), 1e-5);

	// An sform takes precedence: a plain scaling by (1, 1, 5) with an offset.
	RawHeader sform = qform;
	sform.setShort(SformCode, 2);
	sform.setFloat(Srow, 1.0f);
	sform.setFloat(Srow + 12, 100.0f);
	sform.setFloat(Srow + 16 + 4, 1.0f);
	sform.setFloat(Srow + 32 + 8, 5.0f);
	bytes = sform.bytes();
	bytes.resize(352 + 8, 1);
	writeFile(path("sform.nii"), bytes);
	w = NiftiIo::load(path("sform.nii"))->get()->descriptorWorld();
	EXPECT_TRUE(w.spacing().isApprox(Eigen::Vector3d(1, 1, 5), 1e-6));
	EXPECT_LT((w.pixelToWorld({1, 1, 1}) - Eigen::Vector3d(101, 1, 5)).norm(), 1e-5);

	// No form: pixdim scaling from the origin; lengths in metres become millimetres; slope 0 means
	// unscaled values.
	RawHeader none;
	none.setDims({2, 2, 2});
	none.setDatatype(DtUint8, 8);
	none.setFloat(Pixdim + 4, 0.002f);
	none.setFloat(Pixdim + 8, 0.001f);
	none.setFloat(Pixdim + 12, 0.001f);
	none.bytes()[Units] = 1;
	none.setFloat(Slope, 0.0f);
	bytes = none.bytes();
	bytes.resize(352 + 8, 7);
	writeFile(path("none.nii"), bytes);
	loaded = NiftiIo::load(path("none.nii"));
	w = loaded->get()->descriptorWorld();
	EXPECT_TRUE(w.spacing().isApprox(Eigen::Vector3d(2, 1, 1), 1e-6));
	EXPECT_LT((w.pixelToWorld({1, 1, 1}) - Eigen::Vector3d(2, 1, 1)).norm(), 1e-5);
	EXPECT_DOUBLE_EQ(loaded->mem()->valueAt({0, 0, 0}, 0, false, 0), 7);
}

namespace
{
	constexpr float NaN = std::numeric_limits<float>::quiet_NaN(), Inf = std::numeric_limits<float>::infinity();
	constexpr unsigned char Metres = 1, Micrometres = 3;
	using FloatFields = std::vector<std::pair<std::size_t, float>>;
	using ShortFields = std::vector<std::pair<std::size_t, short>>;

	// A 2x2x2 byte volume without forms, with these header fields and units.
	std::vector<unsigned char> volumeWith(const FloatFields& floats, const ShortFields& shorts = {}, unsigned char units = 0)
	{
		RawHeader header;
		header.setDims({2, 2, 2});
		header.setDatatype(DtUint8, 8);
		for (const auto& [offset, value] : floats)
			header.setFloat(offset, value);
		for (const auto& [offset, value] : shorts)
			header.setShort(offset, value);
		header.bytes()[Units] = units;
		std::vector<unsigned char> bytes = header.bytes();
		bytes.resize(352 + 8, 1);
		return bytes;
	}

	// An sform scaling by (1, 2, 3) with the offset (10, 20, 30), then `more`.
	FloatFields sformWith(const FloatFields& more)
	{
		FloatFields fields{{Srow, 1}, {Srow + 12, 10}, {Srow + 20, 2}, {Srow + 28, 20}, {Srow + 40, 3}, {Srow + 44, 30}};
		fields.insert(fields.end(), more.begin(), more.end());
		return fields;
	}
}

// Two reading rules that no other test pins: pixdim[0] = 0 is the same as 1 (only a negative qfac
// mirrors z), and an sform of code 1 (scanner) is used like one of code 2.
TEST_F(NiftiIoTest, ReadsQfacZeroAsOneAndAScannerSform)
{
	// The qform's voxel is 4 long along z, the sform's 7.
	const FloatFields forms{{Pixdim + 12, 4}, {Srow, 1}, {Srow + 20, 1}, {Srow + 40, 7}};
	for (const auto& [qfac, sformCode, zStep] : {std::tuple{0.0f, 0, 4.0}, {1.0f, 0, 4.0}, {-1.0f, 0, -4.0}, {1.0f, 1, 7.0}, {1.0f, 2, 7.0}})
	{
		FloatFields fields = forms;
		fields.emplace_back(Pixdim, qfac);
		writeFile(path("forms.nii"), volumeWith(fields, {{QformCode, 1}, {SformCode, static_cast<short>(sformCode)}}));
		const ImageDescriptorWorld w = NiftiIo::load(path("forms.nii"))->get()->descriptorWorld();
		EXPECT_NEAR((w.pixelToWorld({0, 0, 1}) - w.pixelToWorld({0, 0, 0})).z(), zStep, 1e-5) << qfac << " " << sformCode;
	}
}

// The geometry used (sform, else qform, else voxel sizes), after the unit conversion, is refused,
// naming the field, where 32-bit floats could not write it back; what is not used is not judged.
TEST_F(NiftiIoTest, GeometryFloatsCannotHoldIsRefusedNamingTheField)
{
	struct Case
	{
		std::vector<unsigned char> file;
		const char* refusal;
		Eigen::Vector3d spacing;
	};
	const ShortFields sform{{SformCode, 2}}, qform{{QformCode, 1}};
	const Case cases[] = {
	    {volumeWith({{Pixdim + 4, NaN}}), "pixdim[1] is nan", {}},
	    {volumeWith({{Pixdim + 8, -1.7e38f}}, {}, Metres), "pixdim[2] gives a voxel size of 1.7e+41 mm", {}},
	    {volumeWith({{Pixdim + 12, 2.1e-44f}}, {}, Micrometres), "pixdim[3] gives a voxel size of", {}},
	    {volumeWith(sformWith({{Srow, 0}}), sform), "srow_*[0] gives a voxel size of 0 mm", {}},
	    {volumeWith(sformWith({{Srow + 28, NaN}}), sform), "srow_y[3] is nan", {}},
	    {volumeWith({{Quatern, Inf}}, qform), "quatern_b is inf", {}},
	    // Each axis of the offset, whose value in metres floats hold but not in millimetres.
	    {volumeWith({{Quatern + 12, 3e38f}}, qform, Metres), "qoffset_* gives an offset of 3e+41 mm", {}},
	    {volumeWith({{Quatern + 16, -2e38f}}, qform, Metres), "qoffset_* gives an offset of -2e+41 mm", {}},
	    {volumeWith({{Quatern + 20, 1e38f}}, qform, Metres), "qoffset_* gives an offset of 1e+41 mm", {}},
	    {volumeWith(sformWith({{Srow + 12, 3e38f}}), sform, Metres), "srow_*[3] gives an offset of 3e+41 mm", {}},
	    {volumeWith(sformWith({{Srow + 28, -2e38f}}), sform, Metres), "srow_*[3] gives an offset of -2e+41 mm", {}},
	    {volumeWith(sformWith({{Srow + 44, 1e38f}}), sform, Metres), "srow_*[3] gives an offset of 1e+41 mm", {}},
	    {volumeWith({{Pixdim, NaN}}, qform), "pixdim[0] is nan", {}},
	    // Kept: a voxel size of 0 without a matrix, micrometres, damage where nothing is used, a singular sform passed over.
	    {volumeWith({{Pixdim + 4, 0}}), "", {1, 1, 1}},
	    {volumeWith({{Pixdim + 8, 4}}, {}, Micrometres), "", {0.001, 0.004, 0.001}},
	    {volumeWith({{Srow, NaN}}), "", {1, 1, 1}},
	    {volumeWith(sformWith({{Quatern, NaN}}), sform), "", {1, 2, 3}},
	    {volumeWith(sformWith({{Srow + 4, 1}, {Srow + 20, 0}, {Pixdim + 12, 5}}), {{SformCode, 2}, {QformCode, 1}}), "", {1, 1, 5}},
	};
	for (const Case& c : cases)
	{
		writeFile(path("geometry.nii"), c.file);
		if (*c.refusal)
			expectLoadError(path("geometry.nii"), c.refusal);
		else
			EXPECT_TRUE(NiftiIo::load(path("geometry.nii"))->get()->descriptor().spacing().isApprox(c.spacing, 1e-6)) << c.spacing;
	}
}

TEST_F(NiftiIoTest, ReadsByteOrderAndComponentLayoutOfTheFormat)
{
	RawHeader big(true);
	big.setDims({2, 1, 1});
	big.setDatatype(DtInt16, 16);
	std::vector<unsigned char> bytes = big.bytes();
	// -2 and 513 in big-endian order.
	for (unsigned char b : {0xFF, 0xFE, 0x02, 0x01})
		bytes.push_back(b);
	writeFile(path("big.nii"), bytes);
	const auto loaded = NiftiIo::load(path("big.nii"));
	const auto* shorts = dynamic_cast<const TypedImage<short>*>(loaded->mem());
	ASSERT_NE(shorts, nullptr);
	EXPECT_EQ(shorts->at(0, 0), -2);
	EXPECT_EQ(shorts->at(1, 0), 513);

	// Vector components are stored one volume after the other (dim[5]).
	RawHeader vectors;
	vectors.setDims({2, 1, 1, 1, 2});
	vectors.setDatatype(DtUint8, 8);
	bytes = vectors.bytes();
	for (unsigned char b : {10, 11, 20, 21})
		bytes.push_back(b);
	writeFile(path("vectors.nii"), bytes);
	const auto components = NiftiIo::load(path("vectors.nii"));
	const auto* typed = dynamic_cast<const TypedImage<unsigned char>*>(components->mem());
	ASSERT_NE(typed, nullptr);
	EXPECT_EQ(typed->descriptor().channels(), 2);
	EXPECT_EQ(typed->at(0, 0, 0, 0), 10);
	EXPECT_EQ(typed->at(1, 0, 0, 0), 11);
	EXPECT_EQ(typed->at(0, 0, 0, 1), 20);
	EXPECT_EQ(typed->at(1, 0, 0, 1), 21);
}

TEST_F(NiftiIoTest, DamagedOrUnsupportedFilesGiveClearErrors)
{
	expectLoadError(path("missing.nii"), "does not exist");
	expectLoadError(path("volume.img"), "suffix");
	writeFile(path("text.nii"), std::vector<unsigned char>(400, 'x'));
	expectLoadError(path("text.nii"), "not a NIfTI-1 file");
	writeFile(path("tiny.nii"), {1, 2, 3});
	expectLoadError(path("tiny.nii"), "header");

	NiftiIo::save(*makeVolume<float>(), path("good.nii"));
	const std::vector<unsigned char> good = readFile(path("good.nii"));
	// Header fields are little-endian shorts here: dim[i] at 40 + 2 i, datatype at 70.
	auto damaged = [&](const std::string& name, std::initializer_list<std::pair<std::size_t, short>> fields)
	{
		std::vector<unsigned char> bytes = good;
		for (const auto& [offset, value] : fields)
			std::memcpy(&bytes[offset], &value, 2);
		writeFile(path(name), bytes);
		return path(name);
	};
	writeFile(path("cut.nii"), std::vector<unsigned char>(good.begin(), good.end() - 10));
	expectLoadError(path("cut.nii"), "truncated");
	expectLoadError(damaged("larger.nii", {{42, 50}}), "truncated");
	expectLoadError(damaged("negative.nii", {{44, -4}}), "invalid size dim[2] = -4");
	expectLoadError(damaged("rank.nii", {{40, 9}}), "dim[0] = 9");
	expectLoadError(damaged("series.nii", {{40, 4}, {48, 2}}), "series");
	expectLoadError(damaged("rgb.nii", {{70, DtRgb24}}), "datatype 128");

	RawHeader absurd;
	absurd.setDims({32767, 32767, 32767});
	absurd.setDatatype(DtFloat32, 32);
	writeFile(path("absurd.nii"), absurd.bytes());
	expectLoadError(path("absurd.nii"), "more than the supported");

	// A gzip reader passes plain data through, so this exercises the path where the size is not
	// known in advance: a gigabyte-sized header with a few bytes must fail without allocating it.
	RawHeader huge;
	huge.setDims({256, 1024, 1024});
	huge.setDatatype(DtFloat32, 32);
	std::vector<unsigned char> hugeBytes = huge.bytes();
	hugeBytes.resize(hugeBytes.size() + 64, 0);
	writeFile(path("huge.nii.gz"), hugeBytes);
	expectLoadError(path("huge.nii.gz"), "truncated");

	NiftiIo::save(*makeVolume<double>(1, {20, 20, 20}), path("good.nii.gz"));
	const std::vector<unsigned char> packed = readFile(path("good.nii.gz"));
	writeFile(path("cut.nii.gz"), std::vector<unsigned char>(packed.begin(), packed.begin() + static_cast<long>(packed.size() / 2)));
	EXPECT_THROW(NiftiIo::load(path("cut.nii.gz")), std::runtime_error);
}

TEST_F(NiftiIoTest, RefusedWritesTouchNothing)
{
	SharedImageSet empty("empty");
	EXPECT_THROW(NiftiIo::save(empty, path("empty.nii")), std::runtime_error);
	SharedImageSet untyped(std::make_unique<SharedImage>(MemImage::create(ImageDescriptor(ImageDescriptor::Bytes2, {2, 2, 2}))));
	EXPECT_THROW(NiftiIo::save(untyped, path("untyped.nii")), std::runtime_error);
	EXPECT_THROW(NiftiIo::save(*makeVolume<float>(), path("volume.nrrd")), std::runtime_error);
	auto lost = makeVolume<float>();
	lost->setMatrixToWorld(Eigen::Matrix4d::Constant(std::nan("")));
	EXPECT_THROW(NiftiIo::save(*lost, path("lost.nii")), std::runtime_error);
	// Voxel sizes are judged as the 32-bit floats that would be written.
	for (const double size : {1e39, 1e-39})
		EXPECT_THROW(NiftiIo::save(SharedImageSet(std::make_unique<SharedImage>(
		                               MemImage::create(ImageDescriptor(ImageDescriptor::UnsignedChar, {2, 2, 2}, 1, {1, size, 1})))),
		                           path("unwritable.nii")),
		             NiftiIo::Error);
	EXPECT_TRUE(fs::is_empty(m_dir));
	try
	{
		NiftiIo::save(*makeVolume<float>(), path("no/such/dir/volume.nii"));
		ADD_FAILURE() << "writing into a missing folder did not fail";
	}
	catch (const std::runtime_error& e)
	{
		EXPECT_THAT(e.what(), HasSubstr("volume.nii"));
	}
}

TEST_F(NiftiIoTest, FailedWriteKeepsTheOldFile)
{
	const std::string target = path("kept.nii");
	NiftiIo::save(*makeVolume<unsigned char>(), target);
	const std::vector<unsigned char> before = readFile(target);

	// A file size limit makes the write fail half-way, as a full disk would.
	bool failed = false;
	std::string message;
	try
	{
		Testing::ScopedFileSizeLimit limit(4096);
		NiftiIo::save(*makeVolume<double>(1, {16, 16, 16}), target);
	}
	catch (const std::runtime_error& e)
	{
		failed = true;
		message = e.what();
	}

	EXPECT_TRUE(failed);
	EXPECT_THAT(message, HasSubstr(target));
	EXPECT_EQ(readFile(target), before);
	// Neither a temporary file is left behind.
	EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);

	// A successful write replaces the file and leaves nothing else either.
	NiftiIo::save(*makeVolume<double>(1, {16, 16, 16}), target);
	EXPECT_EQ(NiftiIo::load(target)->get()->descriptor().pixelType(), ImageDescriptor::Double);
	EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);
}

TEST_F(NiftiIoTest, DamagedGzipStreamsAreRefused)
{
	// A trailer (checksum and length) damaged or cut is named, in a file so small that the header
	// is in the same piece of data as the trailer, and in a larger one.
	for (const int side : {2, 20})
	{
		SCOPED_TRACE(side);
		NiftiIo::save(*makeVolume<float>(1, {side, side, side}), path("v.nii.gz"));
		const std::vector<unsigned char> intact = readFile(path("v.nii.gz"));
		for (std::size_t cut = 1; cut <= 8; ++cut)
		{
			writeFile(path("cut.nii.gz"), {intact.begin(), intact.end() - static_cast<long>(cut)});
			expectLoadError(path("cut.nii.gz"), "damaged compressed data: the gzip member at offset 0 is cut short");
		}
		for (std::size_t at = intact.size() - 8; at < intact.size(); ++at)
		{
			std::vector<unsigned char> flipped = intact;
			flipped[at] ^= 0x10;
			writeFile(path("flip.nii.gz"), flipped);
			const char* check = at < intact.size() - 4 ? "data" : "length";
			expectLoadError(path("flip.nii.gz"),
			                std::string("damaged compressed data: the gzip member at offset 0 is damaged (incorrect ") + check + " check)");
		}
	}
	// A flip in the compressed data is refused, unless it leaves every voxel as it was.
	const std::vector<unsigned char> intact = readFile(path("v.nii.gz"));
	const auto original = NiftiIo::load(path("v.nii.gz"));
	const auto& expected = dynamic_cast<const TypedImage<float>&>(*original->mem(0));
	for (std::size_t at = 10; at + 8 < intact.size(); at += intact.size() / 40)
	{
		std::vector<unsigned char> flipped = intact;
		flipped[at] ^= 0x01;
		writeFile(path("flip.nii.gz"), flipped);
		try
		{
			const auto loaded = NiftiIo::load(path("flip.nii.gz"));
			const auto& voxels = dynamic_cast<const TypedImage<float>&>(*loaded->mem(0));
			EXPECT_EQ(std::memcmp(voxels.pointer(), expected.pointer(), expected.byteSize()), 0) << "flip at " << at;
		}
		catch (const std::runtime_error&)
		{
		}
	}
}

// With voxel data of 16 KB or more, zlib's gzread inflates the last piece straight into the image
// and swallows a cut trailer without an error: a cut anywhere in a member is refused all the same.
// Several members, with zero bytes (padding) after any of them, are valid; any other byte after a
// member is refused, naming its offset.
TEST_F(NiftiIoTest, GzipFilesAreReadToTheEndOfEveryMember)
{
	auto volume = makeVolume<float>(1, {32, 32, 16});
	std::mt19937 random(3);
	auto* voxels = static_cast<float*>(volume->mem()->data());
	for (std::size_t i = 0; i < volume->mem()->descriptor().size(); ++i)
		voxels[i] = static_cast<float>(random() % 1000);
	NiftiIo::save(*volume, path("whole.nii.gz"));
	NiftiIo::save(*volume, path("plain.nii"));
	const std::vector<unsigned char> plain = readFile(path("plain.nii")), whole = readFile(path("whole.nii.gz"));
	const auto gzipped = [&](const unsigned char* bytes, std::size_t size)
	{
		gzFile member = gzopen(path("member.gz").c_str(), "wb");
		gzwrite(member, bytes, static_cast<unsigned>(size));
		gzclose(member);
		return readFile(path("member.gz"));
	};
	// The same file as two gzip members, the first of 1000 bytes; and a member after the whole file.
	const std::vector<unsigned char> first = gzipped(plain.data(), 1000), second = gzipped(plain.data() + 1000, plain.size() - 1000);
	const std::vector<unsigned char> more = gzipped(plain.data(), 10);
	using Bytes = std::vector<std::vector<unsigned char>>;
	const auto join = [](const Bytes& pieces)
	{
		std::vector<unsigned char> out;
		for (const auto& piece : pieces)
			out.insert(out.end(), piece.begin(), piece.end());
		return out;
	};
	const std::vector<unsigned char> zeros(5, 0), junk{'n', 'o', 't'};
	struct Case
	{
		const char* name;
		std::vector<unsigned char> file;
		std::string refusal;
	};
	const auto from = [](std::size_t offset)
	{ return "the bytes from offset " + std::to_string(offset) + " are neither zero padding nor a gzip member"; };
	const Case cases[] = {
	    {"two members", join({first, second}), ""},
	    {"padding after the last member", join({whole, zeros}), ""},
	    {"padding between members", join({first, zeros, second, zeros}), ""},
	    {"a member after the whole file", join({whole, more}), ""},
	    {"bytes after the last member", join({whole, junk}), from(whole.size())},
	    {"bytes after padding", join({whole, zeros, junk}), from(whole.size() + 5)},
	    {"half of the magic", join({whole, {0x1f}}), from(whole.size())},
	    {"a member with damaged magic after the whole file", join({whole, {0x1f, 0x8a}, {more.begin() + 2, more.end()}}), from(whole.size())},
	    {"a member with damaged magic inside the file", join({first, {0x1f, 0x8a}, {second.begin() + 2, second.end()}}), from(first.size())},
	    {"a member cut after its magic", join({whole, {0x1f, 0x8b}}),
	     "the gzip member at offset " + std::to_string(whole.size()) + " is cut short"},
	    {"the second member cut", join({first, {second.begin(), second.end() - 100}}), "truncated"},
	};
	for (const Case& c : cases)
	{
		SCOPED_TRACE(c.name);
		writeFile(path("v.nii.gz"), c.file);
		if (c.refusal.empty())
			EXPECT_EQ(std::memcmp(NiftiIo::load(path("v.nii.gz"))->mem()->data(), voxels, volume->mem()->byteSize()), 0);
		else
			expectLoadError(path("v.nii.gz"), c.refusal);
	}
	for (long cut = 1; cut <= 10; ++cut)
	{
		writeFile(path("v.nii.gz"), {whole.begin(), whole.end() - cut});
		EXPECT_THROW(NiftiIo::load(path("v.nii.gz")), NiftiIo::Error) << cut;
	}
}

TEST_F(NiftiIoTest, VoxelDataBeyondTheMemoryLimitIsRefusedByItsBytes)
{
	Testing::ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", "1G");
	RawHeader header;
	header.setDims({2048, 1024, 1024});
	header.setDatatype(64, 64);
	writeFile(path("huge.nii"), header.bytes());
	expectLoadError(path("huge.nii"), "its voxel data would need 17.2 GB of memory, more than the 1.07 GB available");
}
