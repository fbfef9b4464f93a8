#include "DialogDriver.h"

#include "FrontState.h"
#include "engine/Engine.h"
#include "resources/ResourceIds.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace vidtag::test {
namespace {

namespace fs = std::filesystem;

std::string InCodePage(UINT codePage, const std::wstring& text) {
    BOOL lost = FALSE;
    BOOL* lostFlag = codePage == CP_UTF8 ? nullptr : &lost;
    const int size =
        ::WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, lostFlag);
    std::string result(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, 0, text.c_str(), -1, result.data(), size, nullptr, lostFlag);
    result.resize(result.size() - 1);
    return lost ? std::string() : result;
}

std::string CodesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return bytes.size() < 192 ? std::string() : bytes.substr(112, 4) + "/" + bytes.substr(188, 4);
}

// The dialog takes names in the active code page, which is UTF-8 only where Windows honours
// the manifest; scripts/test runs this also from a copy whose manifest asks for no code page,
// under a Cyrillic one. Both ways in, the command line and the open-file dialog, reach the file.
TEST(CodePageTest, CyrillicNameInTheActiveCodePageIsAnalysedAndConverted) {
    // Set where the test runs from the copy, so that an ignored manifest change shows.
    if (const char* expected = std::getenv("VIDTAG_EXPECT_CODE_PAGE")) {
        ASSERT_EQ(::GetACP(), static_cast<UINT>(std::strtoul(expected, nullptr, 10)));
    }
    TempDir temp;
    const std::wstring wide = fs::path(temp.Root()).wstring() + L"\\Фильм для проверки.avi";
    const std::string name = InCodePage(CP_ACP, wide);
    if (name.empty()) {
        GTEST_SKIP() << "code page " << ::GetACP() << " has no Cyrillic letters";
    }
    fs::copy_file(SamplePath("kind03-mp43.avi"), fs::path(wide));
    const std::string shown = InCodePage(CP_UTF8, wide);

    MainView converted{};
    RunWithSteps(CommandLineFor(name), {[&](HWND d) {
                     Command(d, IDC_SAVE);
                     converted = Look(d);
                     Command(d, IDC_QUIT);
                 }});
    EXPECT_EQ(converted.File, shown);
    EXPECT_EQ(converted.Codec, "DivX V3 Low");
    EXPECT_EQ(CodesOf(wide), "div3/DIV3");

    const MainView opened = LookAfterOpening(shown);
    EXPECT_EQ(opened.File, shown);
    EXPECT_EQ(opened.Codec, "DivX V3 Low");
    EXPECT_TRUE(opened.SaveEnabled);
}

} // namespace
} // namespace vidtag::test
