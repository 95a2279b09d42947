#pragma once

#include "host/core/Configurable.h"
#include "host/core/Geometry/AlignedBox.h"

#include <Eigen/Core>

#include <string>

namespace Quorvale
{
	class GlView;

	/// Base of everything a view draws. Drawn on the GUI thread with the host's GL context current;
	/// the object's matrix maps its own coordinates to world coordinates.
	class GlObject : public Configurable
	{
	public:
		GlObject() = default;
		~GlObject() override = default;

		/// Draws the object into the view's current pass (context current, view state set).
		virtual void draw(const GlView& view) = 0;
		/// Extent in the object's own coordinates; empty when unknown.
		virtual Geometry::AlignedBox bounds() const { return {}; }

		/// A sphere in world coordinates: centre and radius, negative when the extent is unknown.
		struct Sphere
		{
			Eigen::Vector3d center = Eigen::Vector3d::Zero();
			double radius = -1.0;
		};
		/// The sphere around `bounds` in world coordinates: the box's centre mapped by `matrix`, half
		/// its diagonal stretched by the matrix's largest stretch. Radius −1 for empty bounds.
		virtual Sphere boundsSpherical() const;

		/// The plane that clips what the object draws, (a, b, c, d) in world coordinates: a world
		/// point p is drawn where a·px + b·py + c·pz + d ≥ 0. The zero vector (the default) clips
		/// nothing. Views hand it to the drawing pipeline for the object's `draw`, and do not draw an
		/// object whose `boundsSpherical` lies wholly on the clipped side.
		virtual void setClipPlane(const Eigen::Vector4d& plane) { m_clipPlane = plane; }
		virtual const Eigen::Vector4d& clipPlane() const { return m_clipPlane; }
		/// True when the bounding sphere lies wholly where the clip plane cuts away: nothing the
		/// object draws would show.
		bool clippedAway() const;

		virtual void setMatrix(const Eigen::Matrix4d& matrix) { m_matrix = matrix; }
		virtual const Eigen::Matrix4d& matrix() const { return m_matrix; }
		virtual void setVisible(bool visible) { m_visible = visible; }
		virtual bool visible() const { return m_visible; }
		/// Drawn even where the view would leave it out (outside its clip range); off by default.
		virtual void setAlwaysVisible(bool always) { m_alwaysVisible = always; }
		virtual bool alwaysVisible() const { return m_alwaysVisible; }
		virtual std::string typeName() const { return "GlObject"; }

		/// Whether a three-dimensional object is also drawn in planar views (views of kind 0); off by default.
		void setShowInPlanarViews(bool show) { m_showInPlanarViews = show; }
		bool showInPlanarViews() const { return m_showInPlanarViews; }

	private:
		Eigen::Matrix4d m_matrix = Eigen::Matrix4d::Identity();
		Eigen::Vector4d m_clipPlane = Eigen::Vector4d::Zero();
		bool m_visible = true;
		bool m_alwaysVisible = false;
		bool m_showInPlanarViews = false;
	};
}
