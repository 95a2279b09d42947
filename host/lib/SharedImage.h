#pragma once

#include "host/lib/Data.h"
#include "host/lib/GlImage.h"
#include "host/lib/ImageDescriptorWorld.h"
#include "host/lib/MemImage.h"

#include <Eigen/Core>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace Quorvale
{
	/// One image as a host data object: its values in CPU memory (shared with the operations that
	/// work on it), on the GPU (`GlImage`), or both, placed in the world by the data object's matrix.
	/// The matrix convention is `ToWorld`: `matrix` and `matrixToWorld` map image coordinates (see
	/// `ImageDescriptor`) to world.
	///
	/// Each copy is current or stale. Non-const `mem` and `sharedMem` hand out the CPU memory for
	/// writing, so they make the GPU copy stale; a GPU write (`setDirtyGl`) makes the CPU copy stale,
	/// and the next `mem`/`sharedMem`/`syncMem` downloads first (opening a GL guard). An image may
	/// live on the GPU alone (`SharedImage(std::unique_ptr<GlImage>)`) until its memory is asked for.
	class SharedImage : public Data
	{
	public:
		/// Takes (a share of) the memory image, also from a `std::unique_ptr`; throws
		/// std::invalid_argument for null.
		explicit SharedImage(std::shared_ptr<MemImage> mem, std::string name = {});
		/// An image whose values are only on the GPU; throws std::invalid_argument for null.
		explicit SharedImage(std::unique_ptr<GlImage> gl, std::string name = {});
		SharedImage(const SharedImage&) = delete;
		SharedImage& operator=(const SharedImage&) = delete;
		~SharedImage() override;

		int kind() const override { return Data::Image; }
		int matrixConvention() const override { return Data::ToWorld; }
		int modality() const override { return m_modality; }
		/// Sets the modality (`Data::LabelMap` for label maps); emits `signalDataChanged` on change.
		void setModality(int modality);

		/// The current CPU memory (downloaded first when the GPU copy is newer); never null. The
		/// non-const forms mark the GPU copy stale. Throws std::runtime_error when the values are
		/// only on the GPU and no GL context can be had.
		MemImage* mem();
		const MemImage* mem() const;
		/// The CPU memory as a shared handle, for holders that must keep it alive; as `mem`.
		std::shared_ptr<MemImage> sharedMem();
		std::shared_ptr<const MemImage> sharedMem() const;
		/// Makes the CPU memory current (downloads when the GPU copy is newer), without marking the
		/// GPU copy stale.
		void syncMem() const;
		/// Records that the CPU memory was written and is the newest representation: the GPU copy
		/// becomes stale. Emits `signalDataChanged`.
		void setDirtyMem();
		/// True when the CPU memory is current.
		bool hasMem() const { return m_mem && m_memCurrent; }

		/// True when a current GPU copy exists.
		bool hasGl() const { return m_gl && m_glCurrent; }
		/// The current GPU copy, made or uploaded first when only the CPU memory is current. Needs
		/// an open `GL::ContextGuard`; throws std::invalid_argument for layouts without a GPU copy
		/// (`GlImage::canHold`) and `GL::Error` when the GPU has no memory for it.
		GlImage& gl();
		/// Takes `gl` (the image's layout) as the newest copy, as after a GPU write: the CPU memory
		/// becomes stale. Emits `signalDataChanged`.
		void setGl(std::unique_ptr<GlImage> gl);
		/// Records that the GPU copy was written and is the newest representation. Emits
		/// `signalDataChanged`.
		void setDirtyGl();

		/// Counts the changes of the values from 0: raised by every call that hands the values out for
		/// writing or records a write (the non-const `mem` and `sharedMem`, `setDirtyMem`, `setGl`,
		/// `setDirtyGl`). What is derived from the values is kept while the count stays.
		std::uint64_t valuesVersion() const { return m_valuesVersion; }
		/// The range of the values (`MemImage::valueRange`): read from the current values at the first
		/// call after they changed (downloading first when only the GPU copy is current) and kept until
		/// they change again. Not for concurrent calls.
		std::optional<MemImage::ValueRange> valueRange() const;
		/// How many times `valueRange` has read the values.
		int valueRangeReads() const { return m_rangeReads; }

		/// The image's layout.
		const ImageDescriptor& descriptor() const;
		/// The layout together with this image's `matrixToWorld`.
		ImageDescriptorWorld descriptorWorld() const;
		/// World to continuous pixel coordinates.
		Eigen::Matrix4d worldToPixelMatrix() const;

		/// A deep copy: name, matrix, permanent components, modality and a copy of the memory.
		std::unique_ptr<SharedImage> clone() const;

	private:
		/// Downloads the GPU copy into the CPU memory when that is stale.
		void download() const;

		mutable std::shared_ptr<MemImage> m_mem;
		mutable bool m_memCurrent = true;
		std::unique_ptr<GlImage> m_gl;
		bool m_glCurrent = false;
		int m_modality = Data::NoModality;
		std::uint64_t m_valuesVersion = 0;
		/// The range and the values version it was read at.
		mutable std::optional<MemImage::ValueRange> m_range;
		mutable std::optional<std::uint64_t> m_rangeVersion;
		mutable int m_rangeReads = 0;
	};
}
