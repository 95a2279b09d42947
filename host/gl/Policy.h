#pragma once

#include <optional>
#include <string_view>

namespace Quorvale::GL
{
	/// Whether and where the host uses OpenGL, from the environment variable QUORVALE_GL.
	enum class Policy
	{
		/// QUORVALE_GL=none: no context at all; every caller takes its CPU path.
		None,
		/// QUORVALE_GL unset: image expressions go to the GPU on a hardware renderer whenever their
		/// device strategy allows; on a software renderer only for images already on the GPU.
		Default,
		/// QUORVALE_GL=always: image expressions go to the GPU whenever their device strategy
		/// allows, also on a software renderer (for checks and tests).
		Always
	};

	/// The policy of a value of QUORVALE_GL: "none", "always" (any letter case), empty or absent
	/// for `Default`; empty for any other text.
	std::optional<Policy> parsePolicy(const char* value);

	/// The process's policy: read from QUORVALE_GL on first use (an unknown value logs a warning
	/// and gives `Default`), or the last one set with `setPolicy`.
	Policy policy();
	/// Replaces the policy for the rest of the process (tests force the GPU path with `Always`, or
	/// switch OpenGL off with `None`). Thread-safe; guards opened earlier stay valid.
	void setPolicy(Policy policy);
}
