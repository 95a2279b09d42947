#pragma once

namespace Quorvale::GL
{
	/// The name (id) of one GL object with its deletion: move-only; deleted at destruction, at
	/// once inside a guard, otherwise queued for the next guard.
	class ObjectName
	{
	public:
		using Deleter = void (*)(unsigned int);

		ObjectName() = default;
		ObjectName(unsigned int id, Deleter deleter)
		    : m_id(id)
		    , m_deleter(deleter)
		{
		}
		ObjectName(ObjectName&& other) noexcept;
		ObjectName& operator=(ObjectName&& other) noexcept;
		ObjectName(const ObjectName&) = delete;
		ObjectName& operator=(const ObjectName&) = delete;
		~ObjectName() { reset(); }

		/// 0 when there is no object.
		unsigned int id() const { return m_id; }
		explicit operator bool() const { return m_id != 0; }
		/// Deletes the object (now or queued) and holds none.
		void reset() noexcept;

	private:
		unsigned int m_id = 0;
		Deleter m_deleter = nullptr;
	};
}
