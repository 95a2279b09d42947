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
/// taken when its code is set, else the qform, else the pixdim scaling (a form that is not finite
/// or not invertible is passed over). The voxel size is the length of the affine's columns, so
/// the image's `matrixToWorld` (image frame to world) is the affine's rotation part with its
/// translation moved to the volume centre; pixel to world stays exactly the file's affine. Lengths
/// in metres or micrometres are converted to millimetres. On writing, sform and qform both carry
/// the image's pixel-to-world matrix with code 2 ("aligned anatomical"): the host's world is not
/// known to be the scanner's.
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
