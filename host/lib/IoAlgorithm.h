#pragma once

#include "host/lib/Algorithm.h"

#include <string>
#include <vector>

namespace Quorvale
{
	class Properties;

	/// An algorithm that reads data from or writes data to a location (a file path).
	class IoAlgorithm : public Algorithm
	{
	public:
		enum class IoMode : int
		{
			Read = 0,
			Write = 1
		};

		/// Kinds of location an algorithm supports (a bit mask in `supportedLocations`).
		enum LocationKind : int
		{
			LocalFile = 1
		};

		/// `locationKinds` is a `LocationKind` mask (1: local files).
		IoAlgorithm(IoMode mode, int locationKinds);

		IoMode ioMode() const { return m_ioMode; }
		/// File extensions without the dot, lower case.
		virtual std::vector<std::string> supportedFileExtensions() const = 0;
		/// A file name to offer when saving: the data's name with the first extension.
		virtual std::string suggestedSaveFileName() const;
		/// True when the location's extension is one of the supported ones (case-insensitive).
		virtual bool canLoad(const std::string& location) const;
		/// Marks the run as failed (status 1).
		virtual void fail() { m_status = Error; }
		virtual int supportedLocations() const { return m_locationKinds; }
		virtual void setLocation(const std::string& location) { m_location = location; }
		virtual const std::string& location() const { return m_location; }

		/// Applies the host-wide input/output settings (empty unless the host set some) through `configure`.
		void configureFromGlobalSettings();
		/// The host-wide input/output settings that `configureFromGlobalSettings` applies.
		static Properties& globalSettings();

	private:
		IoMode m_ioMode;
		int m_locationKinds;
		std::string m_location;
	};
}
