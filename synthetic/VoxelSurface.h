#pragma once

#include <memory>
#include <string>

namespace Quorvale
{
	class Mesh;
	class SharedImage;

	namespace SyntheticVolumes
	{
		/// The surface of the labelled voxels (value > 0, channel 0) of an unsigned 8-bit label image as a
		/// triangle mesh: two triangles for every voxel face between a labelled voxel and an unlabelled
		/// one or the outside of the grid, wound counter-clockwise seen from outside. Faces share their
		/// corners, so the mesh is closed. Vertices are in world coordinates (the image's pixel-to-world
		/// map; a map that mirrors keeps the winding outward); the mesh's matrix is the identity.
		/// Throws std::invalid_argument for an image that is not unsigned 8-bit.
		std::unique_ptr<Mesh> voxelSurfaceMesh(const SharedImage& labels, const std::string& name = "Vessel Surface");
	}
}
