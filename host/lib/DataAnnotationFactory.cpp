#include "host/lib/DataAnnotationFactory.h"

namespace Quorvale
{
	DataAnnotationFactory::~DataAnnotationFactory() = default;

	InteractiveObject* DataAnnotationFactory::createDataAnnotation(const std::string& /*annotationName*/, Data* /*data*/)
	{
		return nullptr;
	}

	std::vector<std::string> DataAnnotationFactory::compatibleDataAnnotations(const Data* /*data*/) { return {}; }

	std::string DataAnnotationFactory::dataDescription(const Data* /*data*/) { return {}; }

	std::string DataAnnotationFactory::dataIconPath(const Data* /*data*/) { return {}; }

	Properties DataAnnotationFactory::dataAttributes(const Data* /*data*/) { return {}; }

	std::unique_ptr<Data> DataAnnotationFactory::cloneData(const Data* /*data*/) { return nullptr; }
}
