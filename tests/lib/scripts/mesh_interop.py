"""Mesh files exchanged with meshio (Debian's python3-meshio), for MeshInteropTest.

  dump FILE            prints the points, triangles and colours meshio reads from FILE
  write FOLDER         writes the same coloured tetrahedron as tet.ply (ASCII), tet-binary.ply, tet.stl
                       and tet.obj into FOLDER
"""
import sys

import meshio
import numpy as np


def dump(path):
    mesh = meshio.read(path)
    print("points", len(mesh.points))
    for p in mesh.points:
        print("p", *("%.17g" % v for v in p))
    for block in mesh.cells:
        if block.type == "triangle":
            for t in block.data:
                print("t", *t)
    names = ["red", "green", "blue", "alpha"]
    if all(n in mesh.point_data for n in names):
        # meshio 5.0 reads uchar as int8: look at the bytes as unsigned again.
        colours = np.stack([mesh.point_data[n].astype(np.uint8) for n in names], axis=1)
        for c in colours:
            print("c", *c)


def write(folder):
    points = np.array([[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1]], dtype=float)
    triangles = np.array([[0, 2, 1], [0, 1, 3], [0, 3, 2], [1, 2, 3]])
    colours = {n: np.array(v, dtype=np.uint8) for n, v in
               zip(["red", "green", "blue", "alpha"], [[255, 0, 10, 255], [255, 128, 20, 255], [255, 0, 30, 255], [255, 255, 255, 255]])}
    coloured = meshio.Mesh(points, [("triangle", triangles)], point_data=colours)
    plain = meshio.Mesh(points, [("triangle", triangles)])
    coloured.write(folder + "/tet.ply", binary=False)
    coloured.write(folder + "/tet-binary.ply", binary=True)
    plain.write(folder + "/tet.stl")
    plain.write(folder + "/tet.obj")


if __name__ == "__main__":
    {"dump": dump, "write": write}[sys.argv[1]](sys.argv[2])
