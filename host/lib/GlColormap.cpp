#include "host/lib/GlColormap.h"

#include "host/lib/TypedImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace Quorvale
{
	namespace GlColormapTables
	{
		extern const float Grayscale[256 * 4];
		extern const float Jet[256 * 4];
		extern const float HotIron[256 * 4];
		extern const float Viridis[256 * 4];
		extern const float Inferno[256 * 4];
		extern const float CoolWarm[256 * 4];
	}

	namespace
	{
		const float* referenceTable(GlColormap::Preset preset)
		{
			switch (preset)
			{
			case GlColormap::Preset::Jet: return GlColormapTables::Jet;
			case GlColormap::Preset::HotIron: return GlColormapTables::HotIron;
			case GlColormap::Preset::Viridis: return GlColormapTables::Viridis;
			case GlColormap::Preset::Inferno: return GlColormapTables::Inferno;
			case GlColormap::Preset::CoolWarm: return GlColormapTables::CoolWarm;
			case GlColormap::Preset::Grayscale: break;
			}
			return GlColormapTables::Grayscale;
		}
	}

	bool GlColormap::isPreset(int value)
	{
		return value == 0 || value == 1 || value == 2 || value == 7 || value == 8 || value == 9;
	}

	GlColormap::GlColormap(Preset preset, int count, int flags)
	    : m_preset(preset)
	    , m_flags(flags)
	{
		count = std::max(count, 1);
		const float* reference = referenceTable(preset);
		m_table.resize(static_cast<size_t>(count) * 4);
		for (int i = 0; i < count; ++i)
		{
			const double position = count == 1 ? 0.0 : 255.0 * i / (count - 1);
			const int lower = std::min(static_cast<int>(position), 254);
			const double w = position - lower;
			for (int c = 0; c < 4; ++c)
				m_table[static_cast<size_t>(i) * 4 + static_cast<size_t>(c)] =
				    static_cast<float>((1.0 - w) * reference[lower * 4 + c] + w * reference[(lower + 1) * 4 + c]);
		}
	}

	Eigen::Vector4f GlColormap::color(double t) const
	{
		const int n = count();
		const double clamped = std::isnan(t) ? 0.0 : std::clamp(t, 0.0, 1.0);
		const auto index = static_cast<size_t>(std::lround(clamped * (n - 1)));
		return Eigen::Vector4f(m_table.data() + index * 4);
	}

	void GlColormap::download(TypedImage<float>& image) const
	{
		const auto& d = image.descriptor();
		if (d.dimensions() != Eigen::Vector3i(count(), 1, 1) || d.channels() != 4)
			throw std::invalid_argument("GlColormap::download: the image must be a four-channel row of the table's length");
		std::memcpy(image.pointer(), m_table.data(), m_table.size() * sizeof(float));
	}
}
