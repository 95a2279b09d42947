#include "host/lib/Data.h"

#include <Eigen/LU>

namespace Quorvale
{
	Data::Data(std::string name)
	    : m_name(std::move(name))
	{
	}

	Data::Data(const Data& other)
	    : m_name(other.m_name)
	    , m_matrixToWorld(other.m_matrixToWorld)
	    , m_components(other.m_components, this)
	{
	}

	Data& Data::operator=(const Data& other)
	{
		if (this == &other)
			return *this;
		m_name = other.m_name;
		m_matrixToWorld = other.m_matrixToWorld;
		m_components.assignFrom(other.m_components);
		return *this;
	}

	Data::~Data() { signalDeleted.emitSignal(this); }

	void Data::setName(const std::string& name)
	{
		if (name == m_name)
			return;
		m_name = name;
		signalDataChanged.emitSignal();
	}

	void Data::setMatrixToWorld(const Eigen::Matrix4d& matrix)
	{
		m_matrixToWorld = matrix;
		signalMatrixChanged.emitSignal();
	}

	Eigen::Matrix4d Data::matrixFromWorld() const { return matrixToWorld().inverse(); }

	void Data::setMatrixFromWorld(const Eigen::Matrix4d& matrix) { setMatrixToWorld(matrix.inverse()); }

	Eigen::Matrix4d Data::matrix() const { return matrixConvention() == ToWorld ? matrixToWorld() : matrixFromWorld(); }

	void Data::setMatrix(const Eigen::Matrix4d& matrix)
	{
		if (matrixConvention() == ToWorld)
			setMatrixToWorld(matrix);
		else
			setMatrixFromWorld(matrix);
	}

	std::string Data::describe() const { return m_name; }
}
