#pragma once

#include "host/core/NotCopyable.h"

#include <string>
#include <vector>

namespace Quorvale
{
	/// Base of every plug-in object. A plug-in library creates one through its `quorvaleCreatePlugin`
	/// entry point; the host owns it from then on, calls `init` once and destroys it at shutdown.
	class PluginBase : public Utils::NotCopyable
	{
	public:
		/// Result of `init`.
		enum Status : int
		{
			Success = 0,
			Failed = 1
		};

		PluginBase() = default;
		virtual ~PluginBase();

		/// Name of the plug-in's maker.
		virtual std::string author() const = 0;
		/// One line saying what the plug-in offers.
		virtual std::string description() const = 0;
		/// Identifiers of the plug-ins that must be loaded before this one (none by default).
		virtual std::vector<std::string> dependencies() const;
		/// Registers the plug-in's services with the host; anything but `Success` means the plug-in is unusable.
		virtual Status init() = 0;
		/// Hands over the application's controller object when there is one; ignored by default.
		virtual void setApplicationController(void* controller);
	};
}
