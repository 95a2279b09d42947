// Build-time tool: enciphers one resource file with the library's repository key and writes it
// as a C++ source file holding a constant byte array, which is compiled into the plug-in.
//
//     EncipherResource <input> <output.cpp> <symbol>
//
// The cipher is the host's `Cryptography::MonoCypher` with a nonce derived from the plain text, so
// that the same input always gives the same bytes and builds are reproducible. The result is
// checked by deciphering it before it is written.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "host/core/ByteBufferView.h"
#include "host/core/Cryptography/MonoCypher.h"
#include "src/plugin/RepositoryKey.h"

namespace
{
	std::string sourceFile(const Quorvale::ByteBuffer& bytes, const std::string& symbol, const std::string& input)
	{
		std::ostringstream out;
		out << "// Generated at build time from " << input << ", enciphered. Do not edit.\n"
		    << "#include <cstddef>\n\nnamespace Quorvale::StoredResources\n{\n"
		    << "\textern const unsigned char " << symbol << "[];\n\textern const std::size_t " << symbol << "Size;\n"
		    << "\tconst unsigned char " << symbol << "[] = {";
		for (std::size_t i = 0; i < bytes.size(); ++i)
			out << (i % 16 == 0 ? "\n\t\t" : " ") << static_cast<unsigned>(bytes[i]) << ",";
		out << "\n\t};\n\tconst std::size_t " << symbol << "Size = " << bytes.size() << ";\n}\n";
		return out.str();
	}
}

int main(int argc, char** argv)
{
	if (argc != 4)
	{
		std::fprintf(stderr, "usage: %s <input> <output.cpp> <symbol>\n", argv[0]);
		return 2;
	}
	std::ifstream input(argv[1], std::ios::binary);
	if (!input)
	{
		std::fprintf(stderr, "cannot read %s\n", argv[1]);
		return 1;
	}
	const std::string plain{std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>()};
	const auto key = Quorvale::RepositoryKey::assemble(Quorvale::RepositoryKey::kWords);
	const Quorvale::ByteBuffer cipher =
	    Quorvale::Cryptography::MonoCypher::encryptReproducibly(Quorvale::ByteBufferView(plain.data(), plain.size()), key);
	const auto check = Quorvale::Cryptography::MonoCypher::decrypt(Quorvale::ByteBufferView(cipher.data(), cipher.size()), key);
	if (!check || check->toString() != plain)
	{
		std::fprintf(stderr, "the enciphered %s does not decipher with the host's cipher\n", argv[1]);
		return 1;
	}
	std::ofstream output(argv[2], std::ios::binary | std::ios::trunc);
	output << sourceFile(cipher, argv[3], std::filesystem::path(argv[1]).filename().string());
	if (!output.flush())
	{
		std::fprintf(stderr, "cannot write %s\n", argv[2]);
		return 1;
	}
	return 0;
}
