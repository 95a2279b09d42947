#pragma once

#include "host/core/Geometry/AlignedBox.h"
#include "host/core/Signal.h"
#include "host/lib/DataComponentList.h"

#include <Eigen/Core>

#include <string>

namespace Quorvale
{
	/// Base of every data object the host keeps in its data model: a name, a rigid placement in
	/// the world (`matrixToWorld` maps the object's own coordinates to world coordinates) and a
	/// list of components. Copying copies name, matrix and every component that is not temporary,
	/// and no signal connections.
	class Data
	{
	public:
		/// Kinds reported by `kind`; 0 means "any" in list queries.
		enum Kind : int
		{
			Unknown = 0,
			Image = 1,
			ImageSet = 2,
			Mesh = 3,
			PointCloud = 4
		};

		/// Modalities reported by `modality`; 0 means "any" in list queries.
		enum Modality : int
		{
			NoModality = 0,
			LabelMap = 8
		};

		/// Which matrix `matrix` and `setMatrix` refer to.
		enum MatrixConvention : int
		{
			/// `matrix` is the world-to-object matrix (`matrixFromWorld`).
			FromWorld = 0,
			/// `matrix` is the object-to-world matrix (`matrixToWorld`).
			ToWorld = 1
		};

		explicit Data(std::string name = {});
		Data(const Data& other);
		Data& operator=(const Data& other);
		/// Emits `signalDeleted` first.
		virtual ~Data();

		virtual int kind() const { return Unknown; }
		virtual int modality() const { return NoModality; }
		virtual int matrixConvention() const { return FromWorld; }

		const std::string& name() const { return m_name; }
		void setName(const std::string& name);

		/// Object-to-world matrix (identity for a new object).
		virtual const Eigen::Matrix4d& matrixToWorld() const { return m_matrixToWorld; }
		virtual void setMatrixToWorld(const Eigen::Matrix4d& matrix);
		/// World-to-object matrix: the inverse of `matrixToWorld`.
		virtual Eigen::Matrix4d matrixFromWorld() const;
		virtual void setMatrixFromWorld(const Eigen::Matrix4d& matrix);
		/// The matrix chosen by `matrixConvention`.
		virtual Eigen::Matrix4d matrix() const;
		virtual void setMatrix(const Eigen::Matrix4d& matrix);

		/// Annotations (drawn marks) answer true.
		virtual bool isAnnotationType() const { return false; }
		/// Bounding box in world coordinates (empty unless the type knows its extent).
		virtual Geometry::AlignedBox bounds() const { return {}; }
		/// One line describing the object for lists and logs.
		virtual std::string describe() const;

		DataComponentList& components() { return m_components; }
		const DataComponentList& components() const { return m_components; }

		/// Emitted when the content changes (types emit it themselves) and when name or matrix change.
		Signal<> signalDataChanged;
		/// Emitted when the matrix changes.
		Signal<> signalMatrixChanged;
		/// Emitted at the start of destruction.
		Signal<Data*> signalDeleted;

	private:
		std::string m_name;
		Eigen::Matrix4d m_matrixToWorld = Eigen::Matrix4d::Identity();
		DataComponentList m_components{this};
	};
}
