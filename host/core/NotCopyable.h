#pragma once

namespace Quorvale::Utils
{
	/// Base of classes whose objects have an identity and must not be copied or moved.
	class NotCopyable
	{
	protected:
		NotCopyable() = default;
		~NotCopyable() = default;

	public:
		NotCopyable(const NotCopyable&) = delete;
		NotCopyable& operator=(const NotCopyable&) = delete;
	};
}
