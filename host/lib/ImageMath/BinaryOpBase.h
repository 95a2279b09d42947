#pragma once

#include "host/lib/ImageDescriptor.h"

namespace Quorvale::ImageMath::internal
{
	/// Evaluation-side state of a binary node: the layout of its result.
	class BinaryOpBase
	{
	public:
		/// The result layout: the extents of the left operand when it spans images, else those of
		/// the right one; as many channels as the wider operand; element type `pixelType`.
		BinaryOpBase(const ImageDescriptor& left, int leftImages, const ImageDescriptor& right, int rightImages, int pixelType);

		const ImageDescriptor& resultDescriptor() const { return m_descriptor; }

	private:
		ImageDescriptor m_descriptor;
	};
}
