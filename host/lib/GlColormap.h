#pragma once

namespace Quorvale
{
	/// A colour map that turns values into colours for display. Only the presets are needed so far.
	class GlColormap
	{
	public:
		/// The built-in colour tables, by the numbers under which they are stored.
		enum class Preset : int
		{
			Grayscale = 0,
			Jet = 1,
			HotIron = 2,
			Viridis = 7,
			Inferno = 8,
			CoolWarm = 9
		};
	};
}
