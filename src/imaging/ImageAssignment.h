#pragma once

#include "src/imaging/Array.h"

/// Element-wise assignment of one image set, or one image, to another.
namespace Quorvale::ImageMath
{
	/// Assigns `source` to every image of `destination` that the destination set's selection
	/// marks (an empty selection marks all), image i from source image i, or from source image 0
	/// when the source set holds one image. Each image pair goes to the GPU when the arrays'
	/// strategies allow it; otherwise it is computed on the CPU, one image per worker of a thread
	/// pool (a single image on the calling thread), and the call returns when all have finished.
	/// The images written are marked changed on the calling thread afterwards.
	///
	/// Nothing is written, and an error is logged, when the source set is empty, when it holds more
	/// than one image but none for some selected image, or when a source image differs from its
	/// destination image in element type or extents.
	ArraySet& assign(ArraySet& destination, const ArraySet& source);

	/// Assigns `source` to `destination`: on the GPU when the host can, else by the CPU kernel of
	/// the destination's element type, which maps values from the source's storage form to the
	/// original values and then to the destination's storage form (each unless the array reads raw
	/// values) and stores them as `internal::fromDouble` describes. A destination of an untyped
	/// element code is only marked changed. Refused (nothing written, error logged) when a
	/// destination with a kernel differs from the source in element type or extents.
	ArrayImage& assign(ArrayImage& destination, const ArrayImage& source);

	namespace internal
	{
		/// What an image assignment did.
		enum class AssignmentOutcome
		{
			/// Not run (yet).
			None,
			/// Evaluated on the GPU, which marked the result itself.
			Gpu,
			/// Computed by a CPU kernel.
			Written,
			/// The destination's element code has no kernel; nothing written.
			NoKernel,
			/// The destination has no CPU memory; nothing written.
			NoMemory,
			/// Source and destination do not fit together; nothing written, error logged.
			Refused
		};

		/// The image assignment without marking the destination changed.
		AssignmentOutcome assignWithoutMarking(ArrayImage& destination, const ArrayImage& source);

		/// The CPU kernel: `destination` = `source` element by element over the destination's
		/// layout (both buffers hold that many elements), with the storage mappings applied unless
		/// the side's values are raw. An OpenMP loop over slices, parallel when there are more than
		/// eight. A layout without elements writes nothing.
		template <typename T>
		void assignElements(T* destination, const ImageDescriptor& destinationLayout, bool destinationRaw, const T* source,
		                    const ImageDescriptor& sourceLayout, bool sourceRaw);
	}
}
