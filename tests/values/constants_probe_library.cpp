// A shared library holding library-wide constants, loaded and unloaded by the test.
#include "connectivity/values/static_string.h"

namespace cv = com::velmora::connectivity10_15_4;

namespace {
const cv::StaticString first("alpha");
const cv::StaticString second("beta");
const cv::StaticString third("gamma");
} // namespace

extern "C" __attribute__((visibility("default"))) const char* constants_probe_text(int which)
{
    const cv::StaticString* all[] = {&first, &second, &third};
    return all[which]->text();
}
