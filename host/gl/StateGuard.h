#pragma once

namespace Quorvale::GL
{
	/// Saves parts of the GL state when created and restores them when it ends, so that a drawable
	/// object may change them freely. Needs an open `GL::ContextGuard`.
	class StateGuard
	{
	public:
		enum Flags : unsigned
		{
			/// Blending (with its function), depth test and mask, line and point smoothing, program point
			/// size, the first clip distance.
			Capabilities = 1,
			/// The viewport.
			Viewport = 2,
			/// The current program and the texture bound to unit 0.
			Bindings = 4,
			/// Line width.
			Rasterisation = 8,
			All = 15
		};

		explicit StateGuard(unsigned flags = All);
		~StateGuard();
		StateGuard(const StateGuard&) = delete;
		StateGuard& operator=(const StateGuard&) = delete;

	private:
		unsigned m_flags;
		unsigned char m_blend = 0, m_depthTest = 0, m_depthMask = 0, m_lineSmooth = 0, m_programPointSize = 0, m_clipDistance = 0;
		int m_blendSrc = 0, m_blendDst = 0;
		int m_viewport[4] = {0, 0, 0, 0};
		int m_program = 0, m_texture = 0;
		float m_lineWidth = 1.f;
	};

	/// Switches depth testing (and depth writes) on or off. Needs an open `GL::ContextGuard`.
	void setDepthTest(bool enabled);
}
