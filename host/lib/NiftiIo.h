#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace Quorvale
{
	class SharedImageSet;
}

/// Reading and writing single-file NIfTI-1 volumes (".nii", and gzip-compressed ".nii.gz").
///
/// Geometry: NIfTI's affine maps voxel indices to world millimetres. On reading, the sform is
/// taken when its code is set (any code), else the qform (pixdim[0] < 0 mirrors z, 0 counts as 1),
/// else the pixdim scaling (a voxel size of 0 counts as 1); a form that cannot be inverted is
/// passed over. Lengths in metres or micrometres are converted to millimetres. The geometry used
/// is refused, naming the field, when a value in it is not finite, or when after the conversion a
/// voxel size (the length of an affine column) lies outside the normal range of 32-bit floats or an
/// offset beyond it: such a file could not be written back. The image's `matrixToWorld` (image
/// frame to world) is the affine's rotation part with its translation moved to the volume centre;
/// pixel to world stays exactly the file's affine. On writing, sform and qform both carry the
/// image's pixel-to-world matrix with code 2 ("aligned anatomical"): the host's world is not known
/// to be the scanner's; the 32-bit values written are checked the same way.
///
/// Values: scl_slope and scl_inter become the storage mapping (identity when the slope is 0 or not
/// finite); element types uint8, int8, int16, uint16, int32, uint32, float32 and float64. Several
/// channels are the components of dim[5] (vector intent); time series are not read.
///
/// Every failure throws `NiftiIo::Error` (a std::runtime_error) naming the file. The header is
/// checked against the file before any voxel memory is allocated.
namespace Quorvale::NiftiIo
{
	/// A file that cannot be read or written; the message names the file and the reason.
	class Error : public std::runtime_error
	{
	public:
		using std::runtime_error::runtime_error;
	};

	/// Most voxel values (voxels times channels) a file may hold.
	constexpr unsigned long long maxValueCount = 1ull << 31;

	/// Reads the volume into a new set of one image, named after the file without its suffix.
	std::unique_ptr<SharedImageSet> load(const std::string& path);

	/// Writes the set's current image. The file is written beside the target under a temporary
	/// name with the same suffix and renamed into place on success, so a failed write leaves an
	/// existing file as it was. Half-float images are written as float32; untyped pixel types
	/// and grids larger than 32767 on an axis cannot be written.
	void save(const SharedImageSet& set, const std::string& path);
}
