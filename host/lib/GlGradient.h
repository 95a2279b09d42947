#pragma once

namespace Quorvale
{
	class GlFramebuffer;
	class SharedImage;

	/// The gradient of an image by central differences in pixel units, as the GPU filter of the
	/// host computes it. This host has no GPU layer, so it runs on the CPU (in parallel) over the
	/// memory images.
	class GlGradient
	{
	public:
		/// `framebuffer` is where a GPU implementation would render; this one needs none.
		explicit GlGradient(GlFramebuffer* framebuffer = nullptr);

		/// Fills `output`, a three-channel float image of the input's dimensions, with the gradient
		/// of channel 0 of `input` (original values): channel a holds (v(p + e_a) - v(p - e_a)) / 2,
		/// where a neighbour outside the image is replaced by the edge voxel (clamp-to-edge
		/// sampling), so an axis of one voxel has gradient 0. Throws std::invalid_argument for an
		/// untyped input or an output of another layout.
		void compute(const SharedImage& input, SharedImage& output) const;
	};
}
