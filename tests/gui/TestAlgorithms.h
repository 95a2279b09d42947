#pragma once

#include "host/core/Parameter.h"
#include "host/lib/Algorithm.h"
#include "host/lib/IoAlgorithm.h"

#include <Eigen/Core>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace Quorvale::GuiTest
{
	enum class Weighting
	{
		EdgeLength,
		Diameter,
		UserDefined
	};

	/// An algorithm with one parameter of every kind a panel shows.
	class KitchenSinkAlgorithm : public Algorithm
	{
	public:
		KitchenSinkAlgorithm()
		{
			iterations.setAttribute("min", "1");
			iterations.setAttribute("max", "50");
			iterations.setAttribute("step", "5");
			iterations.setAttribute("tooltip", "How often to repeat");
			searchRange.setAttribute("min", "0");
			searchRange.setAttribute("max", "10");
			weighting.setAttribute("values", "EdgeLength, Diameter, UserDefined");
			color.setParamType(PropertiesDetail::ParamType::Color);
			color.setAttribute("type", "reduced");
			outputName.setLabel("Name of the output");
			internalCounter.setAttribute("hidden", "true");
		}

		void compute() override
		{
			++computeCount;
			if (throwOnCompute)
				throw std::runtime_error("broken on purpose");
			setStatus(Success);
		}

		Parameter<bool> enabled{"enabled", true, this};
		Parameter<int> iterations{"iterations", 10, this};
		Parameter<std::uint64_t> seed{"seed", 0, this};
		Parameter<std::int64_t> offsetSteps{"offsetSteps", -5, this};
		Parameter<float> searchRange{"searchRange", 0.9f, this};
		Parameter<double> smoothingWeight{"smoothingWeight", 0.001, this};
		Parameter<std::string> outputName{"outputName", "result", this};
		Parameter<Weighting> weighting{"weighting", Weighting::Diameter, this};
		Parameter<Eigen::Vector4d> color{"color", Eigen::Vector4d(1.0, 0.0, 0.0, 1.0), this};
		Parameter<std::optional<int>> maxNodes{"maxNodes", this};
		Parameter<std::optional<std::string>> rootName{"rootName", this};
		Parameter<Eigen::Vector3d> offset{"offset", Eigen::Vector3d(1.0, 2.0, 3.0), this};
		Parameter<std::vector<double>> weights{"weights", std::vector<double>{0.5, 1.5}, this};
		Parameter<int> internalCounter{"internalCounter", 0, this};

		int computeCount = 0;
		bool throwOnCompute = false;
	};

	/// A file reader with one option for the user and one for the host only.
	class TestIoAlgorithm : public IoAlgorithm
	{
	public:
		explicit TestIoAlgorithm(IoMode mode = IoMode::Read)
		    : IoAlgorithm(mode, LocalFile)
		{
			compress.setAttribute("useroption", "rw");
			verbose.setAttribute("useroption", "r");
		}

		std::vector<std::string> supportedFileExtensions() const override { return {"tst"}; }
		void compute() override { setStatus(Success); }

		Parameter<bool> compress{"compress", false, this};
		Parameter<bool> verbose{"verbose", false, this};
		Parameter<int> blockSize{"blockSize", 4, this};
	};
}
