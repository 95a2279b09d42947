#pragma once

#include "host/gl/Program.h"
#include "host/gl/ViewState.h"

#include <Eigen/Core>

namespace Quorvale::GL
{
	class Texture;

	/// A small shader program standing in for the fixed-function drawing of old GL: vertices of a
	/// `VertexBuffer` transformed by the view state and a model matrix, coloured per vertex or with a
	/// default colour, points of a chosen size (optionally round and smoothed), lines of a chosen width,
	/// optionally a texture sampled at the second attribute list, and optionally lit surfaces whose
	/// normals are the second attribute list. Between `enable` and `disable` it is the current program.
	/// Needs an open `GL::ContextGuard` for every call.
	class FixedFunctionPipeline
	{
	public:
		/// The process-wide instance (the program is compiled at its first `enable`).
		static FixedFunctionPipeline& instance();

		/// Makes the program current for drawing in `viewState`; `shader` 0 draws points, 1 lines and
		/// surfaces (the same program, kept for callers). `transparency` is reserved and may be null.
		/// Resets the model matrix to the identity, the default colour to white, smoothing, texturing and
		/// lighting off; the clip plane stays.
		void enable(const ViewState& viewState, int shader = 0, const void* transparency = nullptr);
		void disable();

		void setModelMatrix(const Eigen::Matrix4d& model);
		/// Colour of vertices without colours.
		void setDefaultColor(const Eigen::Vector4d& color);
		void setPointSize(double size);
		/// Round points with a soft edge.
		void enablePointSmoothing();
		void disablePointSmoothing();
		void setLineWidth(double width);
		/// Samples `texture` (2-D, normalised or float) at the second attribute list instead of using the
		/// vertex colours; null switches texturing off.
		void setTexture(const Texture* texture);
		/// Shades with a light at the viewer: the second attribute list holds normals in the model's
		/// coordinates (any length; zero leaves a vertex unshaded), and a colour becomes
		/// (0.3 + 0.7 |cos a|) of itself, a the angle between the normal and the view axis, so both
		/// sides of a surface are lit.
		void setLighting(bool on);
		/// Clips everything drawn from now on, also after later `enable` calls, against the plane
		/// (a, b, c, d) in world coordinates (the model matrix maps vertices there): what lies where
		/// a·x + b·y + c·z + d < 0 is cut away. The zero vector clips nothing.
		void setClipPlane(const Eigen::Vector4d& plane);
		const Eigen::Vector4d& clipPlane() const { return m_clipPlane; }

		const ViewState& viewState() const { return m_viewState; }
		int shader() const { return m_shader; }

	private:
		FixedFunctionPipeline();
		/// Hands the clip plane to the current program and switches clipping on or off.
		void applyClipPlane();

		Program m_program;
		ViewState m_viewState;
		int m_shader = 0;
		Eigen::Vector4d m_clipPlane = Eigen::Vector4d::Zero();
		/// Between `enable` and `disable`.
		bool m_enabled = false;
	};
}
