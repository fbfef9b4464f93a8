#include "support/BuildPaths.h"

namespace vidtag::test {

const char* SamplesDir() {
    return VIDTAG_BUILD_SAMPLES_DIR;
}
const char* CliPath() {
    return VIDTAG_BUILD_CLI;
}
const char* ManPage() {
    return VIDTAG_BUILD_MAN_PAGE;
}
const char* CheckFixtures() {
    return VIDTAG_BUILD_CHECK_FIXTURES;
}
const char* TestStreams() {
    return VIDTAG_BUILD_TEST_STREAMS;
}

} // namespace vidtag::test
