#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

// Fontconfig and Qt's offscreen platform keep caches until the process ends; they are no leaks of ours.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions()
{
	return "leak:libfontconfig\nleak:libqoffscreen\n";
}

int main(int argc, char** argv)
{
	// Widgets need no display: run on the offscreen platform unless the caller chose another.
	setenv("QT_QPA_PLATFORM", "offscreen", 0);
	// One application for the whole run, never deleted: the offscreen platform does not survive teardown.
	new QApplication(argc, argv);
	::testing::InitGoogleTest(&argc, argv);
	return RUN_ALL_TESTS();
}
