#include "host/gui/DataDisplayHandlerFactory.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <algorithm>

using namespace Quorvale;

namespace
{
	struct NamedHandler : DataDisplayHandler
	{
		explicit NamedHandler(int tag)
		    : tag(tag)
		{
		}
		bool canHandle(const Data*) const override { return false; }
		bool canShowIn(const Data*, const GUI::View*) const override { return false; }
		void show(Data*, GUI::View*) override {}
		void hide(Data*, GUI::View*) override {}
		void viewRemoved(GUI::View*) override {}
		std::unique_ptr<QWidget> createOptionsWidget(Data*, GUI::UpdateHook*, void*) override { return nullptr; }
		int tag;
	};

	int tagOf(const std::string& name)
	{
		auto handler = DataDisplayHandlerFactory::get().create(name);
		return handler ? static_cast<NamedHandler*>(handler.get())->tag : -1;
	}
}

TEST(DataDisplayHandlerFactoryTest, CreatorsAreRegisteredReplacedAndForgottenByName)
{
	EXPECT_FALSE(DataDisplayHandlerFactory::registerHandler("", [] { return std::make_unique<NamedHandler>(0); }));
	EXPECT_FALSE(DataDisplayHandlerFactory::registerHandler("Test.Empty", nullptr));
	ASSERT_TRUE(DataDisplayHandlerFactory::registerHandler("Test.Handler", [] { return std::make_unique<NamedHandler>(1); }));
	EXPECT_EQ(tagOf("Test.Handler"), 1);
	DataDisplayHandlerFactory::registerHandler("Test.Handler", [] { return std::make_unique<NamedHandler>(2); });
	EXPECT_EQ(tagOf("Test.Handler"), 2);
	const auto names = DataDisplayHandlerFactory::get().names();
	EXPECT_EQ(std::count(names.begin(), names.end(), "Test.Handler"), 1);
	DataDisplayHandlerFactory::unregisterHandler("Test.Handler");
	EXPECT_EQ(tagOf("Test.Handler"), -1);
}
