"""Mesh files exchanged with meshio (Debian's python3-meshio), for MeshInteropTest.

  dump FILE      prints what meshio reads from FILE: "p x y z" per point (%g), "t a b c" per triangle,
                 "c r g b a" per point colour
  write FOLDER   writes a coloured tetrahedron as tet.ply (ASCII), tet-binary.ply, and uncoloured as
                 tet.stl and tet.obj into FOLDER
"""
import sys

import meshio
import numpy as np

COLOURS = ["red", "green", "blue", "alpha"]


def dump(path):
    mesh = meshio.read(path)
    for p in mesh.points:
        print("p", *("%g" % v for v in p))
    for block in mesh.cells:
        for t in block.data if block.type == "triangle" else []:
            print("t", *t)
    if all(n in mesh.point_data for n in COLOURS):
        # meshio 5.0 reads uchar as int8: look at the bytes as unsigned again.
        for c in np.stack([mesh.point_data[n].astype(np.uint8) for n in COLOURS], axis=1):
            print("c", *c)


def write(folder):
    points = np.array([[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1]], dtype=float)
    cells = [("triangle", np.array([[0, 2, 1], [0, 1, 3], [0, 3, 2], [1, 2, 3]]))]
    colours = dict(zip(COLOURS, np.array([[255, 0, 10, 255], [255, 128, 20, 255], [255, 0, 30, 255], [255] * 4], dtype=np.uint8)))
    meshio.Mesh(points, cells, point_data=colours).write(folder + "/tet.ply", binary=False)
    meshio.Mesh(points, cells, point_data=colours).write(folder + "/tet-binary.ply", binary=True)
    meshio.Mesh(points, cells).write(folder + "/tet.stl")
    meshio.Mesh(points, cells).write(folder + "/tet.obj")


if __name__ == "__main__":
    {"dump": dump, "write": write}[sys.argv[1]](sys.argv[2])
