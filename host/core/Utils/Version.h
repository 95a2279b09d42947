#pragma once

#include <string>
#include <string_view>

namespace Quorvale::Utils
{
	/// A version number major.minor.patch, ordered component by component.
	class Version
	{
	public:
		/// 0.0.0.
		Version() = default;
		Version(int major, int minor, int patch = 0);

		/// The leading "major.minor[.patch]" of `text` (as in "4.5 (Compatibility Profile) Mesa
		/// 22.3.6"); 0.0.0 when the text does not start with a number.
		static Version fromString(std::string_view text);

		int major() const { return m_major; }
		int minor() const { return m_minor; }
		int patch() const { return m_patch; }

		/// "major.minor.patch".
		std::string toString() const;

		bool operator==(const Version& other) const;
		bool operator!=(const Version& other) const { return !(*this == other); }
		bool operator<(const Version& other) const;
		bool operator<=(const Version& other) const { return !(other < *this); }
		bool operator>(const Version& other) const { return other < *this; }
		bool operator>=(const Version& other) const { return !(*this < other); }

	private:
		int m_major = 0;
		int m_minor = 0;
		int m_patch = 0;
	};
}
