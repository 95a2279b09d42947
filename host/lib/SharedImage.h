#pragma once

#include "host/lib/Data.h"
#include "host/lib/ImageDescriptorWorld.h"
#include "host/lib/MemImage.h"

#include <Eigen/Core>

#include <memory>
#include <string>

namespace Quorvale
{
	/// One image as a host data object: its CPU memory (shared with the operations that work on
	/// it) placed in the world by the data object's matrix. The matrix convention is `ToWorld`:
	/// `matrix` and `matrixToWorld` map image coordinates (see `ImageDescriptor`) to world.
	///
	/// The CPU memory is the only representation in this host, so the synchronisation calls are
	/// bookkeeping: `syncMem` has nothing to fetch and `hasGl` is always false.
	class SharedImage : public Data
	{
	public:
		/// Takes (a share of) the memory image, also from a `std::unique_ptr`; throws
		/// std::invalid_argument for null.
		explicit SharedImage(std::shared_ptr<MemImage> mem, std::string name = {});
		SharedImage(const SharedImage&) = delete;
		SharedImage& operator=(const SharedImage&) = delete;
		~SharedImage() override;

		int kind() const override { return Data::Image; }
		int matrixConvention() const override { return Data::ToWorld; }
		int modality() const override { return m_modality; }
		/// Sets the modality (`Data::LabelMap` for label maps); emits `signalDataChanged` on change.
		void setModality(int modality);

		/// The CPU memory; never null.
		MemImage* mem() { return m_mem.get(); }
		const MemImage* mem() const { return m_mem.get(); }
		/// The CPU memory as a shared handle, for holders that must keep it alive.
		std::shared_ptr<MemImage> sharedMem() { return m_mem; }
		std::shared_ptr<const MemImage> sharedMem() const { return m_mem; }
		/// Makes the CPU memory current; it always is here.
		void syncMem() {}
		/// Records that the CPU memory was written and is the newest representation; emits
		/// `signalDataChanged`.
		void setDirtyMem();
		/// Whether an OpenGL representation exists; never in this host.
		bool hasGl() const { return false; }

		/// The memory image's layout.
		const ImageDescriptor& descriptor() const { return m_mem->descriptor(); }
		/// The layout together with this image's `matrixToWorld`.
		ImageDescriptorWorld descriptorWorld() const;
		/// World to continuous pixel coordinates.
		Eigen::Matrix4d worldToPixelMatrix() const;

		/// A deep copy: name, matrix, permanent components, modality and a copy of the memory.
		std::unique_ptr<SharedImage> clone() const;

	private:
		std::shared_ptr<MemImage> m_mem;
		int m_modality = Data::NoModality;
	};
}
