#include "host/gl/ObjectName.h"

#include <utility>

#include "host/gl/ContextGuard.h"

namespace Quorvale::GL
{
	ObjectName::ObjectName(ObjectName&& other) noexcept
	    : m_id(std::exchange(other.m_id, 0))
	    , m_deleter(other.m_deleter)
	{
	}

	ObjectName& ObjectName::operator=(ObjectName&& other) noexcept
	{
		if (this != &other)
		{
			reset();
			m_id = std::exchange(other.m_id, 0);
			m_deleter = other.m_deleter;
		}
		return *this;
	}

	void ObjectName::reset() noexcept
	{
		if (m_id == 0 || !m_deleter)
			return;
		const unsigned int id = std::exchange(m_id, 0);
		try
		{
			ContextGuard::runOrQueue([deleter = m_deleter, id] { deleter(id); });
		}
		catch (...)
		{
			// Leaking one GL name is better than throwing from a destructor.
		}
	}
}
