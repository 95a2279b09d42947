#include "host/lib/NiftiIo.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

#include <Eigen/Core>
#include <Eigen/LU>
#include <fmt/format.h>
#include <nifti1_io.h>
#include <znzlib.h>

#include "host/core/MemoryLimit.h"
#include "host/core/SafeSave.h"
#include "host/lib/GzipReader.h"
#include "host/lib/MemImage.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"

namespace fs = std::filesystem;

namespace Quorvale::NiftiIo
{
	namespace
	{
		constexpr std::size_t headerSize = 348;
		constexpr std::size_t dataOffset = 352;
		// Pieces of at most this size go through one read or write call (gzip's calls take 32-bit lengths).
		constexpr std::size_t ioChunk = std::size_t(1) << 24;

		[[noreturn]] void fail(const std::string& path, const std::string& what) { throw Error("NIfTI file '" + path + "': " + what); }

		// The library reports to stderr at its default level; its failures reach us as return values.
		void silenceLibrary()
		{
			static const bool silenced = []
			{
				nifti_set_debug_level(0);
				return true;
			}();
			(void)silenced;
		}

		bool endsWith(const std::string& text, const std::string& suffix)
		{
			if (text.size() < suffix.size())
				return false;
			return std::equal(suffix.rbegin(), suffix.rend(), text.rbegin(),
			                  [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
		}

		// The file name suffix (as written in the path) and whether it means gzip.
		struct Suffix
		{
			std::string text;
			bool compressed = false;
		};

		Suffix suffixOf(const std::string& path)
		{
			if (endsWith(path, ".nii.gz"))
				return {path.substr(path.size() - 7), true};
			if (endsWith(path, ".nii"))
				return {path.substr(path.size() - 4), false};
			fail(path, "unsupported file name, expected the suffix .nii or .nii.gz");
		}

		int pixelTypeOfDatatype(int datatype)
		{
			switch (datatype)
			{
				case DT_INT8: return ImageDescriptor::Char;
				case DT_UINT8: return ImageDescriptor::UnsignedChar;
				case DT_INT16: return ImageDescriptor::Short;
				case DT_UINT16: return ImageDescriptor::UnsignedShort;
				case DT_INT32: return ImageDescriptor::Int;
				case DT_UINT32: return ImageDescriptor::UnsignedInt;
				case DT_FLOAT32: return ImageDescriptor::Float;
				case DT_FLOAT64: return ImageDescriptor::Double;
				default: return 0;
			}
		}

		int datatypeOfPixelType(int pixelType)
		{
			switch (pixelType)
			{
				case ImageDescriptor::Char: return DT_INT8;
				case ImageDescriptor::UnsignedChar: return DT_UINT8;
				case ImageDescriptor::Short: return DT_INT16;
				case ImageDescriptor::UnsignedShort: return DT_UINT16;
				case ImageDescriptor::Int: return DT_INT32;
				case ImageDescriptor::UnsignedInt: return DT_UINT32;
				case ImageDescriptor::Float:
				case ImageDescriptor::HalfFloat: return DT_FLOAT32;
				case ImageDescriptor::Double: return DT_FLOAT64;
				default: return 0;
			}
		}

		struct HeaderDeleter
		{
			void operator()(nifti_1_header* header) const { std::free(header); }
		};

		struct ZnzCloser
		{
			void operator()(znzptr* file) const
			{
				znzFile f = file;
				znzclose(f);
			}
		};
		using ZnzHandle = std::unique_ptr<znzptr, ZnzCloser>;

		// Reads up to `count` bytes; returns how many arrived, or nothing on a read error
		// (compressed data that does not decode).
		std::optional<std::size_t> readBytes(znzFile file, unsigned char* target, std::size_t count)
		{
			std::size_t done = 0;
			while (done < count)
			{
				const std::size_t want = std::min(ioChunk, count - done);
				const std::size_t got = znzread(target + done, 1, want, file);
				// The library passes a decoder error on as (size_t)-1.
				if (got > want)
					return std::nullopt;
				done += got;
				if (got < want)
					break;
			}
			return done;
		}

		/// The bytes of a file to read from: plain, or decompressed, where the end of every gzip
		/// member is checked.
		class VoxelSource
		{
		public:
			VoxelSource(const std::string& path, bool compressed)
			{
				if (compressed)
					m_gzip = std::make_unique<GzipReader>(path);
				else
					m_plain.reset(znzopen(path.c_str(), "rb", 0));
			}

			bool isOpen() const { return m_gzip ? m_gzip->isOpen() : m_plain != nullptr; }
			bool seek(std::size_t offset)
			{
				if (!m_gzip)
					return znzseek(m_plain.get(), static_cast<znz_off_t>(offset), SEEK_SET) >= 0;
				std::vector<unsigned char> skipped(std::min(offset, ioChunk));
				for (std::size_t left = offset; left > 0;)
				{
					const std::size_t want = std::min(left, skipped.size());
					if (m_gzip->read(skipped.data(), want) != want)
						return false;
					left -= want;
				}
				return true;
			}
			/// Reads up to `count` bytes; how many arrived, or nothing when the data does not decode.
			std::optional<std::size_t> read(unsigned char* target, std::size_t count)
			{
				return m_gzip ? m_gzip->read(target, count) : readBytes(m_plain.get(), target, count);
			}
			/// Reads on to the end: false when the rest does not decode, or the stream is cut short
			/// or its checksum or length does not match. A plain file always ends well.
			bool endsIntact() { return !m_gzip || m_gzip->endsIntact(); }
			/// What is wrong with the gzip stream so far (with its offset in the file); empty when nothing is.
			std::string problem() const { return m_gzip ? m_gzip->problem() : std::string(); }

		private:
			std::unique_ptr<GzipReader> m_gzip;
			ZnzHandle m_plain;
		};

		Eigen::Matrix4d toMatrix(const mat44& m)
		{
			Eigen::Matrix4d out;
			for (int r = 0; r < 4; ++r)
				for (int c = 0; c < 4; ++c)
					out(r, c) = m.m[r][c];
			return out;
		}

		// A voxel-to-world affine that can be inverted: columns that are not (nearly) linearly dependent.
		bool isInvertible(const Eigen::Matrix4d& affine)
		{
			const Eigen::Matrix3d linear = affine.topLeftCorner<3, 3>();
			const double norms = linear.col(0).norm() * linear.col(1).norm() * linear.col(2).norm();
			return norms > 0.0 && std::abs(linear.determinant()) > 1e-6 * norms;
		}

		double millimetresPerUnit(int xyztUnits)
		{
			switch (XYZT_TO_SPACE(xyztUnits))
			{
				case NIFTI_UNITS_METER: return 1000.0;
				case NIFTI_UNITS_MICRON: return 0.001;
				default: return 1.0;
			}
		}

		void requireFinite(const std::string& path, const std::string& field, double value)
		{
			if (!std::isfinite(value))
				fail(path, fmt::format("{} is {}, not a finite number", field, value));
		}

		/// The header fields behind a form: those of each column and of the offset.
		struct FormFields
		{
			std::array<std::string, 3> columns;
			std::string offset;
		};

		/// Refuses an affine in millimetres that 32-bit floats cannot hold as it is: a column (voxel
		/// size) outside the normal range of floats, or an offset beyond it.
		void requireStorable(const std::string& path, const Eigen::Matrix4d& affine, const FormFields& fields)
		{
			constexpr double smallest = std::numeric_limits<float>::min(), largest = std::numeric_limits<float>::max();
			for (int i = 0; i < 3; ++i)
			{
				const double length = affine.col(i).head<3>().norm();
				if (!(length >= smallest && length <= largest))
					fail(path, fmt::format("{} gives a voxel size of {:.6g} mm, outside the range of 32-bit floats ({:.6g} to {:.6g})",
					                       fields.columns[static_cast<std::size_t>(i)], length, smallest, largest));
			}
			for (int r = 0; r < 3; ++r)
				if (!(std::abs(affine(r, 3)) <= largest))
					fail(path, fmt::format("{} gives an offset of {:.6g} mm, beyond the range of 32-bit floats", fields.offset, affine(r, 3)));
		}

		std::optional<Eigen::Matrix4d> sformOf(const std::string& path, const nifti_1_header& h, double unit)
		{
			Eigen::Matrix4d sform = Eigen::Matrix4d::Identity();
			for (int c = 0; c < 4; ++c)
			{
				const float* rows[3] = {h.srow_x, h.srow_y, h.srow_z};
				for (int r = 0; r < 3; ++r)
				{
					requireFinite(path, fmt::format("srow_{}[{}]", "xyz"[r], c), rows[r][c]);
					sform(r, c) = rows[r][c] * unit;
				}
			}
			requireStorable(path, sform,
			                {{"the sform's column srow_*[0]", "the sform's column srow_*[1]", "the sform's column srow_*[2]"}, "srow_*[3]"});
			return isInvertible(sform) ? std::optional(sform) : std::nullopt;
		}

		std::optional<Eigen::Matrix4d> qformOf(const std::string& path, const nifti_1_header& h, double unit)
		{
			const std::pair<const char*, float> fields[] = {{"quatern_b", h.quatern_b}, {"quatern_c", h.quatern_c}, {"quatern_d", h.quatern_d},
			                                                {"qoffset_x", h.qoffset_x}, {"qoffset_y", h.qoffset_y}, {"qoffset_z", h.qoffset_z},
			                                                {"pixdim[0]", h.pixdim[0]}, {"pixdim[1]", h.pixdim[1]}, {"pixdim[2]", h.pixdim[2]},
			                                                {"pixdim[3]", h.pixdim[3]}};
			for (const auto& [name, value] : fields)
				requireFinite(path, name, value);
			// A voxel size that is not positive counts as 1 here; only a negative qfac mirrors z.
			const float qfac = h.pixdim[0] < 0.0f ? -1.0f : 1.0f;
			Eigen::Matrix4d qform = toMatrix(nifti_quatern_to_mat44(h.quatern_b, h.quatern_c, h.quatern_d, h.qoffset_x, h.qoffset_y,
			                                                        h.qoffset_z, h.pixdim[1], h.pixdim[2], h.pixdim[3], qfac));
			qform.topRows<3>() *= unit;
			requireStorable(path, qform, {{"pixdim[1]", "pixdim[2]", "pixdim[3]"}, "qoffset_*"});
			return isInvertible(qform) ? std::optional(qform) : std::nullopt;
		}

		/// The voxel-to-world affine in millimetres that the reader uses: the sform when its code is
		/// set, else the qform, else a scaling by the voxel sizes (a form that cannot be inverted is
		/// passed over). The form used is refused, naming the field, when it is not finite or 32-bit
		/// floats cannot hold it.
		Eigen::Matrix4d voxelToWorld(const std::string& path, const nifti_1_header& h)
		{
			const double unit = millimetresPerUnit(h.xyzt_units);
			if (h.sform_code > 0)
				if (auto sform = sformOf(path, h, unit))
					return *sform;
			if (h.qform_code > 0)
				if (auto qform = qformOf(path, h, unit))
					return *qform;
			Eigen::Matrix4d scaling = Eigen::Matrix4d::Identity();
			for (int i = 0; i < 3; ++i)
			{
				const double d = std::abs(static_cast<double>(h.pixdim[i + 1]));
				requireFinite(path, fmt::format("pixdim[{}]", i + 1), d);
				scaling(i, i) = (d > 0.0 ? d : 1.0) * unit;
			}
			requireStorable(path, scaling, {{"pixdim[1]", "pixdim[2]", "pixdim[3]"}, ""});
			return scaling;
		}

		std::string stemOf(const std::string& path, const Suffix& suffix)
		{
			const std::string name = fs::path(path).filename().string();
			return name.substr(0, name.size() - suffix.text.size());
		}

		// Channel c of every pixel from the file's planar layout (one volume per component) into
		// the interleaved layout of memory images, and back.
		void planarToInterleaved(const unsigned char* planar, unsigned char* interleaved, std::size_t pixels, int channels, int typeSize)
		{
			const auto ts = static_cast<std::size_t>(typeSize);
			for (int c = 0; c < channels; ++c)
			{
				const unsigned char* plane = planar + static_cast<std::size_t>(c) * pixels * ts;
				for (std::size_t p = 0; p < pixels; ++p)
					std::memcpy(interleaved + (p * channels + c) * ts, plane + p * ts, ts);
			}
		}

		nifti_1_header makeHeader(const SharedImage& image, int datatype)
		{
			const ImageDescriptor& d = image.descriptor();
			nifti_1_header h;
			std::memset(&h, 0, sizeof h);
			h.sizeof_hdr = static_cast<int>(headerSize);
			h.dim[0] = d.channels() > 1 ? 5 : 3;
			for (int i = 0; i < 3; ++i)
				h.dim[i + 1] = static_cast<short>(d.dimensions()[i]);
			h.dim[4] = 1;
			h.dim[5] = static_cast<short>(d.channels());
			h.dim[6] = h.dim[7] = 1;
			h.intent_code = d.channels() > 1 ? NIFTI_INTENT_VECTOR : NIFTI_INTENT_NONE;
			h.datatype = static_cast<short>(datatype);
			h.bitpix = static_cast<short>(8 * d.typeSize());
			h.vox_offset = static_cast<float>(dataOffset);
			h.scl_slope = static_cast<float>(d.slope());
			h.scl_inter = static_cast<float>(d.intercept());
			h.xyzt_units = NIFTI_UNITS_MM;

			const Eigen::Matrix4d affine = image.descriptorWorld().pixelToWorldMatrix();
			mat44 m;
			for (int r = 0; r < 4; ++r)
				for (int c = 0; c < 4; ++c)
					m.m[r][c] = static_cast<float>(affine(r, c));
			float dx = 0, dy = 0, dz = 0, qfac = 1;
			nifti_mat44_to_quatern(m, &h.quatern_b, &h.quatern_c, &h.quatern_d, &h.qoffset_x, &h.qoffset_y, &h.qoffset_z, &dx, &dy, &dz,
			                       &qfac);
			h.pixdim[0] = qfac;
			for (int i = 0; i < 3; ++i)
				h.pixdim[i + 1] = static_cast<float>(d.spacing()[i]);
			for (int i = 4; i < 8; ++i)
				h.pixdim[i] = 1.0f;
			for (int c = 0; c < 4; ++c)
			{
				h.srow_x[c] = m.m[0][c];
				h.srow_y[c] = m.m[1][c];
				h.srow_z[c] = m.m[2][c];
			}
			h.qform_code = NIFTI_XFORM_ALIGNED_ANAT;
			h.sform_code = NIFTI_XFORM_ALIGNED_ANAT;
			std::memcpy(h.magic, "n+1", 4);
			return h;
		}

		/// Refuses a header whose geometry does not survive 32-bit floats: a voxel size outside their
		/// normal range, a placement that is not finite in them, or one the reader would refuse.
		void requireWritableGeometry(const std::string& path, const nifti_1_header& h)
		{
			constexpr float smallest = std::numeric_limits<float>::min();
			for (int i = 1; i <= 3; ++i)
				if (!(h.pixdim[i] >= smallest && h.pixdim[i] <= std::numeric_limits<float>::max()))
					fail(path, fmt::format("cannot write the voxel size {:.6g} mm (pixdim[{}]): 32-bit floats hold {:.6g} to {:.6g}", h.pixdim[i], i,
					                       smallest, std::numeric_limits<float>::max()));
			for (const float* row : {h.srow_x, h.srow_y, h.srow_z})
				if (!std::all_of(row, row + 4, [](float v) { return std::isfinite(v); }))
					fail(path, "cannot write the image's placement: it is not finite in 32-bit floats");
			voxelToWorld(path, h);
		}

		using HeaderPtr = std::unique_ptr<nifti_1_header, HeaderDeleter>;

		void requireRegularFile(const std::string& path)
		{
			std::error_code error;
			const fs::file_status status = fs::status(path, error);
			if (!fs::exists(status))
				fail(path, "the file does not exist");
			if (!fs::is_regular_file(status))
				fail(path, "not a regular file");
		}

		/// Fails on data that cannot be read: compressed data with what is wrong with it, else a read error.
		[[noreturn]] void failDamaged(const std::string& path, const std::string& problem)
		{
			fail(path, problem.empty() ? std::string("cannot read the voxel data") : "damaged compressed data: " + problem);
		}

		/// The header of a single-file NIfTI-1 volume; `swapped` tells whether its byte order is not ours.
		HeaderPtr readHeader(const std::string& path, const Suffix& suffix, int& swapped)
		{
			HeaderPtr header(nifti_read_header(path.c_str(), &swapped, 0));
			if (!header && suffix.compressed)
			{
				// The library's reader gives up on a gzip error without saying so.
				GzipReader gzip(path);
				if (!gzip.endsIntact())
					failDamaged(path, gzip.problem());
			}
			if (!header)
				fail(path, "cannot read a NIfTI-1 header (the file is shorter than 348 bytes or cannot be read)");
			const nifti_1_header& h = *header;
			if (h.sizeof_hdr != static_cast<int>(headerSize))
				fail(path, "not a NIfTI-1 file (header size field " + std::to_string(h.sizeof_hdr) + ")");
			if (std::memcmp(h.magic, "ni1", 4) == 0)
				fail(path, "two-file NIfTI-1 volumes (.hdr/.img) are not supported");
			if (std::memcmp(h.magic, "n+1", 4) != 0)
				fail(path, "not a NIfTI-1 file (no NIfTI-1 magic in the header)");
			return header;
		}

		/// What the header says about the voxel data, checked against what can be read.
		struct VoxelLayout
		{
			std::array<int, 8> dims{};
			int channels = 1;
			unsigned long long values = 0;
			int pixelType = 0;
			int typeSize = 0;
			std::size_t dataBytes = 0;
			std::size_t offset = 0;
		};

		/// The grid of a single volume: dims[1..3] voxels, dims[5] channels, dims[4], [6] and [7] 1.
		VoxelLayout gridOf(const std::string& path, const nifti_1_header& h)
		{
			const int rank = h.dim[0];
			if (rank < 1 || rank > 7)
				fail(path, "invalid dimension count dim[0] = " + std::to_string(rank));
			VoxelLayout layout;
			std::array<int, 8>& dims = layout.dims;
			for (int i = 1; i <= 7; ++i)
			{
				dims[static_cast<size_t>(i)] = i <= rank ? h.dim[i] : 1;
				if (dims[static_cast<size_t>(i)] < 1)
					fail(path, "invalid size dim[" + std::to_string(i) + "] = " + std::to_string(dims[static_cast<size_t>(i)]));
			}
			if (dims[4] > 1)
				fail(path, "holds a series of " + std::to_string(dims[4]) + " volumes (dim[4]); only single volumes are supported");
			if (dims[6] > 1 || dims[7] > 1)
				fail(path, "dimensions dim[6] and dim[7] beyond 1 are not supported");
			layout.channels = dims[5];
			layout.values = static_cast<unsigned long long>(dims[1]) * static_cast<unsigned long long>(dims[2]) *
			                static_cast<unsigned long long>(dims[3]) * static_cast<unsigned long long>(layout.channels);
			if (layout.values > maxValueCount)
				fail(path,
				     "holds " + std::to_string(layout.values) + " voxel values, more than the supported " + std::to_string(maxValueCount));
			return layout;
		}

		/// The grid, element type and data offset, refused when memory or (uncompressed) the file
		/// cannot hold the data.
		VoxelLayout layoutOf(const std::string& path, const nifti_1_header& h, const Suffix& suffix)
		{
			VoxelLayout layout = gridOf(path, h);
			layout.pixelType = pixelTypeOfDatatype(h.datatype);
			if (layout.pixelType == 0)
				fail(path, "datatype " + std::to_string(h.datatype) + " (" + nifti_datatype_to_string(h.datatype) + ") is not supported");
			layout.typeSize = ImageDescriptor::typeSize(layout.pixelType);
			layout.dataBytes = static_cast<std::size_t>(layout.values) * static_cast<std::size_t>(layout.typeSize);
			// Compressed or several-channel data is staged before it is laid out in the image.
			const bool staging = suffix.compressed || layout.channels > 1;
			if (std::string refusal = MemoryLimit::refusal(static_cast<double>(layout.dataBytes) * (staging ? 2.0 : 1.0), "its voxel data");
			    !refusal.empty())
				fail(path, refusal);

			if (!std::isfinite(h.vox_offset) || h.vox_offset < static_cast<float>(headerSize) || h.vox_offset > 1e12f)
				fail(path, "invalid voxel data offset " + std::to_string(h.vox_offset));
			layout.offset = static_cast<std::size_t>(h.vox_offset);
			if (!suffix.compressed)
			{
				std::error_code error;
				const std::uintmax_t fileSize = fs::file_size(path, error);
				if (error)
					fail(path, "cannot determine the file size: " + error.message());
				if (fileSize < layout.offset + layout.dataBytes)
					fail(path, "truncated: the header describes " + std::to_string(layout.dataBytes) + " bytes of voxel data from offset " +
					               std::to_string(layout.offset) + ", but the file has " + std::to_string(fileSize) + " bytes");
			}
			return layout;
		}

		/// The image's descriptor from the header's geometry and values; `matrixToWorld` receives
		/// its placement.
		ImageDescriptor descriptorOf(const std::string& path, const nifti_1_header& h, const VoxelLayout& layout, Eigen::Matrix4d& matrixToWorld)
		{
			const Eigen::Matrix4d affine = voxelToWorld(path, h);
			Eigen::Vector3d spacing;
			for (int i = 0; i < 3; ++i)
				spacing[i] = affine.col(i).head<3>().norm();
			const std::array<int, 8>& dims = layout.dims;
			ImageDescriptor descriptor(layout.pixelType, Eigen::Vector3i(dims[1], dims[2], dims[3]), layout.channels, spacing, true);
			if (std::isfinite(h.scl_slope) && h.scl_slope != 0.0f)
				descriptor.setStorageMapping(h.scl_slope, std::isfinite(h.scl_inter) ? h.scl_inter : 0.0);
			matrixToWorld = affine * descriptor.imageToPixelMatrix();
			return descriptor;
		}

		/// The whole voxel data of a compressed or several-channel file, in the file's order.
		std::vector<unsigned char> stageVoxels(const std::string& path, VoxelSource& file, std::size_t dataBytes)
		{
			// The decompressed size is unknown until read: stage the data in growing steps so that
			// a header that claims more than the file holds costs no more memory than the file
			// delivers.
			std::vector<unsigned char> staged;
			std::size_t have = 0;
			while (have < dataBytes)
			{
				const std::size_t step = std::min(dataBytes - have, std::max(ioChunk, have));
				staged.resize(have + step);
				const auto got = file.read(staged.data() + have, step);
				if (!got)
					failDamaged(path, file.problem());
				have += *got;
				if (*got < step)
					fail(path, "truncated: the header describes " + std::to_string(dataBytes) + " bytes of voxel data, the file holds " +
					               std::to_string(have));
			}
			return staged;
		}

		/// Reads the voxel data into a new image of `descriptor`, in memory's layout and byte order.
		std::unique_ptr<MemImage> readVoxels(const std::string& path, const Suffix& suffix, const VoxelLayout& layout, bool swapped,
		                                     const ImageDescriptor& descriptor)
		{
			VoxelSource file(path, suffix.compressed);
			if (!file.isOpen())
				fail(path, "cannot open the file for reading");
			if (!file.seek(layout.offset))
			{
				if (!file.problem().empty())
					failDamaged(path, file.problem());
				fail(path, "truncated or damaged: cannot reach the voxel data at offset " + std::to_string(layout.offset));
			}

			std::unique_ptr<MemImage> mem;
			std::vector<unsigned char> staged;
			if (!suffix.compressed && layout.channels == 1)
			{
				// Size already checked against the file: read straight into the image.
				mem = MemImage::create(descriptor);
				const auto got = file.read(static_cast<unsigned char*>(mem->data()), layout.dataBytes);
				if (!got || *got != layout.dataBytes)
					fail(path, "cannot read the voxel data");
			}
			else
			{
				staged = stageVoxels(path, file, layout.dataBytes);
				mem = MemImage::create(descriptor);
			}
			// Damage in compressed data can decode to other voxels without any other sign than the
			// gzip trailer's checksum and length.
			if (!file.endsIntact())
				failDamaged(path, file.problem());

			unsigned char* target = static_cast<unsigned char*>(mem->data());
			if (!staged.empty())
			{
				if (layout.channels == 1)
					std::memcpy(target, staged.data(), layout.dataBytes);
				else
					planarToInterleaved(staged.data(), target, descriptor.size(), layout.channels, layout.typeSize);
				staged = {};
			}
			if (swapped && layout.typeSize > 1)
				nifti_swap_Nbytes(static_cast<std::size_t>(layout.values), layout.typeSize, target);
			return mem;
		}

		bool writeBytes(znzFile file, const unsigned char* bytes, std::size_t count)
		{
			for (std::size_t done = 0; done < count;)
			{
				const std::size_t want = std::min(ioChunk, count - done);
				if (znzwrite(bytes + done, 1, want, file) != want)
					return false;
				done += want;
			}
			return true;
		}

		/// The image's voxel data in the file's layout: one channel as it lies in memory, several as
		/// one component volume after the other.
		bool writeVoxels(znzFile file, const SharedImage& image)
		{
			const ImageDescriptor& d = image.descriptor();
			const auto* elements = static_cast<const unsigned char*>(image.mem()->data());
			const std::size_t typeSize = static_cast<std::size_t>(d.typeSize());
			const std::size_t pixels = d.size();
			const auto channels = static_cast<std::size_t>(d.channels());
			if (channels == 1)
				return writeBytes(file, elements, pixels * typeSize);
			// One component volume after the other, gathered in pieces.
			bool ok = true;
			std::vector<unsigned char> piece;
			const std::size_t piecePixels = std::max<std::size_t>(1, ioChunk / typeSize);
			for (std::size_t c = 0; ok && c < channels; ++c)
				for (std::size_t first = 0; ok && first < pixels; first += piecePixels)
				{
					const std::size_t count = std::min(piecePixels, pixels - first);
					piece.resize(count * typeSize);
					for (std::size_t p = 0; p < count; ++p)
						std::memcpy(piece.data() + p * typeSize, elements + ((first + p) * channels + c) * typeSize, typeSize);
					ok = writeBytes(file, piece.data(), piece.size());
				}
			return ok;
		}
	}

	std::unique_ptr<SharedImageSet> load(const std::string& path)
	{
		silenceLibrary();
		const Suffix suffix = suffixOf(path);
		requireRegularFile(path);
		int swapped = 0;
		const HeaderPtr header = readHeader(path, suffix, swapped);
		const VoxelLayout layout = layoutOf(path, *header, suffix);

		// Geometry and values, all from the header.
		Eigen::Matrix4d matrixToWorld;
		const ImageDescriptor descriptor = descriptorOf(path, *header, layout, matrixToWorld);
		std::unique_ptr<MemImage> mem = readVoxels(path, suffix, layout, swapped != 0, descriptor);

		auto image = std::make_unique<SharedImage>(std::move(mem), stemOf(path, suffix));
		image->setMatrixToWorld(matrixToWorld);
		return std::make_unique<SharedImageSet>(std::move(image));
	}

	void save(const SharedImageSet& set, const std::string& path)
	{
		silenceLibrary();
		const Suffix suffix = suffixOf(path);
		const SharedImage* image = set.get(-1);
		if (!image)
			fail(path, "the image set to write holds no image");
		const ImageDescriptor& d = image->descriptor();
		const int datatype = datatypeOfPixelType(d.pixelType());
		if (datatype == 0)
			fail(path, "pixel type " + std::to_string(d.pixelType()) + " has no NIfTI datatype");
		if ((d.dimensions().array() > 32767).any() || d.channels() > 32767)
			fail(path, "the image is larger than 32767 on an axis or in channels, which NIfTI-1 cannot describe");

		if (!image->matrixToWorld().allFinite())
			fail(path, "the image's placement matrix is not finite");

		const nifti_1_header header = makeHeader(*image, datatype);
		requireWritableGeometry(path, header);
		SafeSave save(path, suffix.text);
		if (!save.ok())
			fail(path, save.error());
		// The save's own descriptor stays open until `commit`: a pipe's reader sees no end before the data.
		{
			ZnzHandle file(znzopen(save.writePath().c_str(), "wb", suffix.compressed ? 1 : 0));
			if (!file)
				fail(path, "cannot open it for writing");
			const unsigned char extender[4] = {0, 0, 0, 0};
			const bool ok = writeBytes(file.get(), reinterpret_cast<const unsigned char*>(&header), headerSize) &&
			                writeBytes(file.get(), extender, sizeof extender) && writeVoxels(file.get(), *image);
			errno = 0;
			znzFile raw = file.release();
			const int closed = znzclose(raw);
			if (!ok || closed != 0)
			{
				const int code = errno;
				fail(path, std::string("writing failed") + (code ? std::string(": ") + std::strerror(code) : std::string()));
			}
		}
		if (!save.commit())
			fail(path, save.error());
	}
}
