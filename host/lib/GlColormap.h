#pragma once

#include <Eigen/Core>

#include <vector>

namespace Quorvale
{
	template <typename T>
	class TypedImage;

	/// A colour map that turns values into colours for display: a table of RGBA entries (each channel in
	/// [0, 1], the lowest value first) resampled from one of the built-in colour tables.
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

		/// True for the numbers of `Preset`.
		static bool isPreset(int value);

		/// The preset's table with `count` entries (at least 1), interpolated linearly between the 256
		/// entries of the built-in table; an unknown preset gives the grey ramp. `flags` is kept for the
		/// caller and changes nothing.
		explicit GlColormap(Preset preset = Preset::Grayscale, int count = 256, int flags = 0);

		Preset preset() const { return m_preset; }
		int count() const { return static_cast<int>(m_table.size() / 4); }
		int flags() const { return m_flags; }
		/// count() RGBA entries, four floats each.
		const std::vector<float>& table() const { return m_table; }
		/// The entry nearest to `t` in [0, 1] (clamped; NaN gives the first entry).
		Eigen::Vector4f color(double t) const;

		/// Copies the table into `image`, a four-channel float image of count() x 1 x 1. Throws
		/// std::invalid_argument for an image of another layout.
		void download(TypedImage<float>& image) const;

	private:
		Preset m_preset;
		int m_flags;
		std::vector<float> m_table;
	};
}
