#pragma once

#include "host/lib/Data.h"
#include "host/lib/Selection.h"
#include "host/lib/SharedImage.h"

#include <Eigen/Core>

#include <memory>
#include <string>
#include <vector>

namespace Quorvale
{
	class MemImage;

	/// An ordered set of images as one host data object (a series, or an image with its
	/// derived images), with a current image and a selection.
	///
	/// Matrix and modality follow the current image: `matrixToWorld` and `modality` report the
	/// current image's, and setting either on the set sets it on every image (and on the set, whose
	/// own values are reported while it holds no image). Adding an image keeps that image's own
	/// matrix and modality. The matrix convention is `ToWorld`, as for `SharedImage`.
	class SharedImageSet : public Data
	{
	public:
		/// What `clone` copies.
		enum CloneOptions : int
		{
			/// Name, components, modality, matrix, selection and deep copies of the images.
			CloneWithImages = 0,
			/// Name, components, modality and matrix, without images (and so without selection).
			CloneWithoutImages = 1
		};

		explicit SharedImageSet(std::string name = {});
		/// A set holding `image` (null is ignored), named after it unless a name is given.
		explicit SharedImageSet(std::unique_ptr<SharedImage> image, std::string name = {});
		SharedImageSet(const SharedImageSet&) = delete;
		SharedImageSet& operator=(const SharedImageSet&) = delete;
		~SharedImageSet() override;

		int kind() const override { return Data::ImageSet; }
		int matrixConvention() const override { return Data::ToWorld; }

		int size() const { return static_cast<int>(m_images.size()); }
		bool isEmpty() const { return m_images.empty(); }
		/// Image `index`, or the current image for -1. Null for -1 on an empty set; throws
		/// std::out_of_range for any other index outside the set.
		SharedImage* get(int index = -1) const;
		/// Same as `get`.
		SharedImage* img(int index = -1) const { return get(index); }
		/// The memory image of `get(index)`, null where `get` gives null.
		MemImage* mem(int index = -1) const;
		/// Appends the image and returns it; null is ignored and gives null.
		SharedImage* add(std::unique_ptr<SharedImage> image);

		/// Index of the current image: 0 unless `setCurrentIndex` chose another.
		int currentIndex() const { return m_currentIndex; }
		/// Throws std::out_of_range unless 0 <= index < size().
		void setCurrentIndex(int index);

		/// The images operations work on; empty selects every image (see `Selection`).
		const Selection& selection() const { return m_selection; }
		void setSelection(const Selection& selection) { m_selection = selection; }

		/// The current image's modality, the set's own while it holds no image.
		int modality() const override;
		/// Sets the modality of the set and of every image.
		void setModality(int modality);

		/// The current image's matrix, the set's own while it holds no image.
		const Eigen::Matrix4d& matrixToWorld() const override;
		/// Sets the matrix of the set and of every image.
		void setMatrixToWorld(const Eigen::Matrix4d& matrix) override;

		/// A copy as chosen by `options` (a `CloneOptions` value; unknown values copy the images).
		std::unique_ptr<SharedImageSet> clone(int options = CloneWithImages) const;

	private:
		std::vector<std::unique_ptr<SharedImage>> m_images;
		int m_currentIndex = 0;
		Selection m_selection;
		int m_modality = Data::NoModality;
	};
}
