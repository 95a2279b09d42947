#pragma once

#include "host/core/Geometry/AlignedBox.h"
#include "host/lib/MemImage.h"

#include <Eigen/Core>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace Quorvale
{
	class SharedImage;
	class SharedImageSet;

	namespace GL
	{
		class DisplayTexture;
		class ViewState;
		class VertexBuffer;
	}

	/// One axis-aligned slice through the current image of an image set: the pixels whose coordinate on
	/// `axis` (0 x, 1 y, 2 z of the image grid) equals `index`. Grey values are windowed to the image's
	/// value range (which the image keeps); label maps are shown in a colour table (label 0 black). The
	/// slice image is rebuilt only when the image, its values, its modality or the index change.
	class GlSlice
	{
	public:
		explicit GlSlice(int axis = 2);
		~GlSlice();

		int axis() const { return m_axis; }
		/// The slice index; -1 (the default) takes the middle of the image.
		void setIndex(int index) { m_index = index; }
		int index() const;
		/// The number of slices along the axis (0 without an image).
		int count() const;
		/// Moves the index by `slices`, staying on the image; true when it moved.
		bool step(int slices);

		void setImage(SharedImageSet* image);
		SharedImageSet* image() const { return m_image; }

		/// True unless the slice is of a planar image (depth 1): without an image a slice cuts through
		/// the 3-D scene.
		bool showsVolume() const;

		/// World box of the image's pixels (empty without an image).
		Geometry::AlignedBox imageBounds() const { return boundsOf(m_image); }
		/// World box of the pixels of the set's current image (empty for null or an empty set).
		static Geometry::AlignedBox boundsOf(const SharedImageSet* image);
		/// A world point on the slice plane (none without an image).
		bool planePoint(Eigen::Vector3d& point) const;
		/// The slice plane in world coordinates: a point on it and its unit normal (none without an image).
		bool plane(Eigen::Vector3d& point, Eigen::Vector3d& normal) const;

		/// Draws the slice as a textured quad. Needs an open GL context guard.
		void draw(const GL::ViewState& viewState);

		/// The RGBA bytes of the slice (rows of the first in-plane axis fastest) and their size; rebuilt when
		/// needed. The slice of a volume of `buildApartBytes` or more is sampled on a thread of its own:
		/// until it is there this gives the last slice of the same values (or null), and `isWaiting` holds.
		const GL::DisplayTexture* sliceImage();
		/// True when the last `sliceImage` gave something else than the slice wanted, which is being sampled.
		bool isWaiting() const { return m_waiting; }

		/// Volumes of this many bytes and more are sampled apart (256 MiB unless set otherwise).
		static std::size_t buildApartBytes();
		static void setBuildApartBytes(std::size_t bytes);

		/// The RGBA bytes of slice `index` across `axis` of `mem`: label colours, or grey values windowed
		/// to `range`.
		static std::vector<std::uint8_t> pixels(const MemImage& mem, int axis, int index, bool labels,
		                                        const std::optional<MemImage::ValueRange>& range);

	private:
		/// What the slice image was built from.
		struct Built
		{
			const SharedImage* image = nullptr;
			std::uint64_t version = 0;
			bool labels = false;
			int index = -1;
		};

		/// A slice being sampled apart.
		struct Job;

		static bool sameKey(const Built& a, const Built& b);
		bool isBuilt() const;
		bool showsLabels() const;
		void rebuild();
		/// The two in-plane grid axes.
		std::array<int, 2> planeAxes() const;

		int m_axis;
		int m_index = -1;
		SharedImageSet* m_image = nullptr;
		std::unique_ptr<GL::DisplayTexture> m_slice;
		std::unique_ptr<GL::VertexBuffer> m_quad;
		Built m_built;
		/// The value range that the last slice sampled apart read, and the values it is of.
		Built m_rangeOf;
		std::optional<MemImage::ValueRange> m_range;
		std::shared_ptr<Job> m_job;
		bool m_waiting = false;
	};
}
