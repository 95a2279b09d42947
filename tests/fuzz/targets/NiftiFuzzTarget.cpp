// The NIfTI reader: a refused file gives a message, an accepted volume reads back the same after
// writing it (elements exactly, geometry within float precision).
#include "tests/fuzz/FuzzTarget.h"
#include "tests/fuzz/targets/FuzzFiles.h"

#include "host/lib/NiftiIo.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"

#include <cstring>
#include <stdexcept>

namespace Quorvale::Fuzz
{
	namespace
	{
		std::string suffixOf(std::string_view bytes) { return bytes.substr(0, 2) == "\x1f\x8b" ? ".nii.gz" : ".nii"; }

		bool near(const Eigen::MatrixXd& a, const Eigen::MatrixXd& b)
		{
			return (a - b).cwiseAbs().maxCoeff() <= 1e-4 * (1.0 + b.cwiseAbs().maxCoeff());
		}

		void run(std::string_view input)
		{
			ScratchFile file(suffixOf(input));
			file.write(input);
			std::unique_ptr<SharedImageSet> volume;
			try
			{
				volume = NiftiIo::load(file.path());
			}
			catch (const std::runtime_error& e)
			{
				return check(std::strlen(e.what()) > 0, "NIfTI file refused without a message");
			}
			ScratchFile copy(suffixOf(input));
			std::unique_ptr<SharedImageSet> again;
			try
			{
				NiftiIo::save(*volume, copy.path());
				again = NiftiIo::load(copy.path());
			}
			catch (const std::runtime_error& e)
			{
				check(false, std::string("an accepted NIfTI volume did not write and read back: ") + e.what());
			}
			const SharedImage& a = *volume->get(0);
			const SharedImage& b = *again->get(0);
			const ImageDescriptor& da = a.descriptor();
			const ImageDescriptor& db = b.descriptor();
			check(da.pixelType() == db.pixelType() && da.dimensions() == db.dimensions() && da.channels() == db.channels(),
			      "the layout of a NIfTI volume changed on its way through writing and reading");
			check(std::memcmp(a.mem()->data(), b.mem()->data(), a.mem()->byteSize()) == 0, "NIfTI elements changed");
			check(near(da.spacing(), db.spacing()) && near(a.matrixToWorld(), b.matrixToWorld()), "NIfTI geometry changed");
			check(near(Eigen::Vector2d(da.slope(), da.intercept()), Eigen::Vector2d(db.slope(), db.intercept())),
			      "the storage mapping of a NIfTI volume changed");
		}

		std::vector<std::string> seeds()
		{
			std::vector<std::string> out;
			const auto add = [&](std::unique_ptr<MemImage> mem, const std::string& suffix)
			{
				ScratchFile file(suffix);
				SharedImageSet set(std::make_unique<SharedImage>(std::move(mem), "seed"));
				NiftiIo::save(set, file.path());
				out.push_back(file.read());
			};
			auto bytes = TypedImage<unsigned char>::create(ImageDescriptor(ImageDescriptor::UnsignedChar, {4, 3, 2}, 1, {0.5, 1, 2}));
			bytes->pointer()[3] = 200;
			add(std::move(bytes), ".nii");
			auto vectors = TypedImage<float>::create(ImageDescriptor(ImageDescriptor::Float, {2, 2, 1}, 3, {1, 1, 1}));
			vectors->pointer()[4] = -1.5f;
			add(std::move(vectors), ".nii");
			auto shorts = TypedImage<short>::create(ImageDescriptor(ImageDescriptor::Short, {5, 1, 1}, 1, {1, 1, 1}));
			shorts->setStorageMapping(0.5, -3.0);
			add(std::move(shorts), ".nii.gz");
			return out;
		}

		const FuzzTargetRegistration registration{{"nifti", run, seeds}};
	}
}
