#include "host/gl/BackgroundThread.h"

namespace Quorvale::GL
{
	namespace
	{
		thread_local int t_marks = 0;
	}

	BackgroundThread::BackgroundThread() { ++t_marks; }

	BackgroundThread::~BackgroundThread() { --t_marks; }

	bool BackgroundThread::isCurrentThread() { return t_marks > 0; }
}
