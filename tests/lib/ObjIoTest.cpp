#include "host/lib/ObjIo.h"

#include "tests/lib/MeshFileTest.h"

#include <string>

using namespace Quorvale;

namespace
{
	using ObjIoTest = Testing::MeshFileTest;

	const std::string kTriangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
}

TEST_F(ObjIoTest, LinesAssimpWouldReadWronglyAreRefusedNamingTheLine)
{
	std::string manyCorners = "f";
	for (int corner = 0; corner < 257; ++corner)
		manyCorners += " 1";
	expectRefused("damaged.obj",
	              {
	                  // A vertex that is not three numbers was skipped: the faces then named the wrong vertices,
	                  // or none ("vertex index out of range").
	                  {"v abc 0 0\n" + kTriangle + "f 1 2 3\n", "line 1: 'abc' is not a number"},
	                  {"v .5 0 0\n" + kTriangle + "f 1 2 3\n", "line 1: '.5' must have a digit before its decimal point"},
	                  {"v 0 0 0 1 0 0 1\n" + kTriangle + "f 1 2 3\n", "line 1: 'v' takes 3, 4 or 6 numbers, the line holds 7"},
	                  {kTriangle + "v 0 0 0 # a corner\nf 1 2 3\n", "line 4: '#' is not a number"},
	                  {kTriangle + "vt 0.5\nf 1/1 2/1 3/1\n", "line 4: 'vt' takes 2 or 3 numbers, the line holds 1"},
	                  {kTriangle + "vn 0 1\nf 1//1 2//1 3//1\n", "line 4: 'vn' takes 3 numbers, the line holds 2"},
	                  // Indices of texture coordinates and normals the file lacks were read.
	                  {kTriangle + "vt 1 1\nf 1/2 2/1 3/1\n", "line 5: texture coordinate 2 is named, the file has 1"},
	                  {kTriangle + "f 1//1 2//1 3//1\n", "line 4: normal 1 is named, the file has 0"},
	                  {kTriangle + "f 1 2 9\n", "line 4: vertex 9 is named, the file has 3"},
	                  {kTriangle + "f 1 2 -4\n", "line 4: vertex -4 counts back past the first vertex"},
	                  {kTriangle + "f 1 2 0\n", "line 4: '0' is not an index of a vertex"},
	                  {kTriangle + "f 1 2 3x\n", "line 4: '3x' is not an index of a vertex"},
	                  {kTriangle + "f 1/1/1/1 2 3\n", "line 4: '1/1/1/1' is not a corner"},
	                  {kTriangle + "f\n", "line 4: 'f' without corners"},
	                  {kTriangle + "f 1 2 3\nl 1\n", "line 5: 'l' with one point, which is no line"},
	                  // Assimp tells statements by their first letter: these were read as points, past the end of its buffer.
	                  {kTriangle + "parm u 0 1\n", "line 4: 'parm' is not one of the statements v, vt, vn, f, l and p that it starts like"},
	                  // A line starting with white space was ignored.
	                  {" v 0 0 0\n" + kTriangle + "f 1 2 3\n", "line 1: it starts with white space, before its keyword"},
	                  {kTriangle + std::string("f 1 2\0 3\n", 9), "line 4: it holds the control character 0x00"},
	                  // Assimp joins lines only at a backslash before "\n": the rest of the file was lost.
	                  {std::string("v 0 0 0\rv 1 0 0\rv 0 1 0\rf 1 \\\r2 3\rf 3 2 1\r"),
	                   "line 4: a backslash joins the next line only before \"\\n\" or \"\\r\\n\", not before \"\\r\" alone"},
	                  // A face of two million corners took minutes to triangulate.
	                  {kTriangle + manyCorners + "\n", "line 4: the face has more than the 256 corners a face may have"},
	              });
}

TEST_F(ObjIoTest, LinesWrittenAsAssimpReadsThemAreRead)
{
	expectRead("other.obj", {
	                            {kTriangle + "f 1 2 3\n", 1},
	                            {std::string("v 0 0 0\rv 1 0 0\rv 0 1 0\rf 1 2 3\r"), 1},
	                            {std::string("v 0 0 0\r\nv 1 0 0 \\\n 1\r\nv 0 1 0\r\nf -3 -2 -1\r\n"), 1},
	                            // A face may name a vertex listed after it; normals and texture coordinates are dropped.
	                            {std::string("v 0 0 0 1 0 0\nv 1 0 0 2\nf 1/1/1 2/1/1 3/1/1\nvt 0 0\nvn 0 0 1\nv 0 1 0\n"), 1},
	                            {kTriangle + "v 1 1 0\n# a square\ng square\ns off\nf 1/ 2/ 4/ 3/\nl 1 2\n", 2},
	                        });
}
