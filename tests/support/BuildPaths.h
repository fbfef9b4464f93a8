#pragma once

// The folders and programs of this build that the tests use. Only BuildPaths.cpp is compiled
// with their absolute paths: no other unit's compile command then names the clone's folder, so
// ccache reuses those units' objects in a clone of the same sources elsewhere. A definition on
// a target's own command line still wins.
namespace vidtag::test {

const char* SamplesDir();
// The build's vidtag-cli, its manual page, the check's fixture script and the folder the test
// streams are made in; empty where the build has no vidtag-cli.
const char* CliPath();
const char* ManPage();
const char* CheckFixtures();
const char* TestStreams();

} // namespace vidtag::test

#ifndef VIDTAG_SAMPLES_DIR
#define VIDTAG_SAMPLES_DIR (::vidtag::test::SamplesDir())
#endif
#ifndef VIDTAG_CLI_PATH
#define VIDTAG_CLI_PATH (::vidtag::test::CliPath())
#endif
#ifndef VIDTAG_MAN_PAGE
#define VIDTAG_MAN_PAGE (::vidtag::test::ManPage())
#endif
#ifndef VIDTAG_CHECK_FIXTURES
#define VIDTAG_CHECK_FIXTURES (::vidtag::test::CheckFixtures())
#endif
#ifndef VIDTAG_TEST_STREAMS
#define VIDTAG_TEST_STREAMS (::vidtag::test::TestStreams())
#endif
