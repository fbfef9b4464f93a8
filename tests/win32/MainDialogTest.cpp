#include "DialogDriver.h"

#include "FrontState.h"
#include "MainDialog.h"
#include "Settings.h"
#include "engine/Engine.h"
#include "resources/ResourceIds.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace vidtag::test {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kHandlerAt = 112;     // the samples' "strh" handler code
constexpr std::size_t kCompressionAt = 188; // the samples' "strf" compression code

// Test paths are UTF-8, the program's code page, whatever the C++ library takes narrow names as.
fs::path Utf8Path(const std::string& path) {
    return fs::path(std::u8string(path.begin(), path.end()));
}

Bytes ReadUtf8(const std::string& path) {
    std::ifstream in(Utf8Path(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Only a REG_DWORD counts: the program stores the setting as one, whatever it accepts.
std::optional<DWORD> StoredLanguage() {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (::RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, "Language", RRF_RT_REG_DWORD, nullptr,
                       &value, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

void StoreLanguage(DWORD value) {
    ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "Language", REG_DWORD, &value, sizeof value);
}

std::string CodesAt(const Bytes& file) {
    return std::string(file.begin() + kHandlerAt, file.begin() + kHandlerAt + 4) + "/" +
           std::string(file.begin() + kCompressionAt, file.begin() + kCompressionAt + 4);
}

class MainDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
        EngineState = {};
        FilterIndex = 1;
    }
    void TearDown() override { ::RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey); }

    std::string Copy(const std::string& sample, const std::string& name) {
        const fs::path target = Utf8Path(temp_.Root() + "\\" + name);
        fs::create_directories(target.parent_path());
        fs::copy_file(SamplePath(sample), target);
        return temp_.Root() + "\\" + name;
    }

    TempDir temp_;
};

TEST_F(MainDialogTest, NoFileShowsPlaceholdersAndFirstRunStoresEnglish) {
    MainView view{};
    bool openEnabled = false, iconsSet = false;
    const int left = RunWithSteps("Vidtag.exe", {[&](HWND d) {
                                      view = Look(d);
                                      openEnabled = ::IsWindowEnabled(::GetDlgItem(d, IDC_OPEN));
                                      iconsSet = ::SendMessageA(d, WM_GETICON, ICON_BIG, 0) &&
                                                 ::SendMessageA(d, WM_GETICON, ICON_SMALL, 0);
                                      Command(d, IDC_QUIT);
                                  }});
    EXPECT_EQ(left, 0);
    EXPECT_TRUE(iconsSet);
    EXPECT_EQ(view.File, "[no]");
    EXPECT_EQ(view.Codec, "[unknown]");
    EXPECT_EQ(view.Targets, "");
    EXPECT_FALSE(view.ListEnabled || view.LabelEnabled || view.SaveEnabled);
    EXPECT_TRUE(openEnabled);
    EXPECT_EQ(StoredLanguage(), 0u);
}

TEST_F(MainDialogTest, LockedSingleTargetConvertsV1ToDivX) {
    const std::string path = Copy("kind01-mpg4.avi", "v1.avi");
    MainView before{}, after{};
    RunWithSteps(CommandLineFor(path), {[&](HWND d) {
                     before = Look(d);
                     Command(d, IDC_SAVE);
                     after = Look(d);
                     Command(d, IDC_QUIT);
                 }});
    EXPECT_EQ(before.File, path);
    EXPECT_EQ(before.Codec, "Microsoft MPEG4 V1");
    EXPECT_EQ(before.Targets, "DivX V1");
    EXPECT_EQ(before.Selected, 0);
    EXPECT_FALSE(before.ListEnabled || before.LabelEnabled);
    EXPECT_TRUE(before.SaveEnabled);
    EXPECT_EQ(after.Codec, "DivX V1");
    EXPECT_EQ(after.Targets, "Microsoft MPEG4 V1 (original format)");
    EXPECT_EQ(CodesAt(ReadUtf8(path)), "div1/DIV1");
}

TEST_F(MainDialogTest, ConvertedFileOffersItsOriginalAndGoesBackExactly) {
    const std::string path = Copy("kind03-mp43.avi", "v3.avi");
    const Bytes original = ReadUtf8(path);
    MainView start{}, converted{}, back{};
    Bytes middle;
    RunWithSteps(CommandLineFor(path), {[&](HWND d) {
                     start = Look(d);
                     Command(d, IDC_SAVE); // the first entry, "DivX V3 Low"
                     converted = Look(d);
                     middle = ReadUtf8(path);
                     Command(d, IDC_SAVE); // the first entry, the original format
                     back = Look(d);
                     Command(d, IDC_QUIT);
                 }});
    EXPECT_EQ(start.Targets, "DivX V3 Low|DivX V3 Fast|Angel Potion V1");
    EXPECT_TRUE(start.ListEnabled && start.LabelEnabled && start.SaveEnabled);
    EXPECT_EQ(converted.Codec, "DivX V3 Low");
    EXPECT_EQ(converted.Targets,
              "Microsoft MPEG4 V3 (original format)|Angel Potion V1|DivX V3 Fast");
    EXPECT_EQ(CodesAt(middle), "div3/DIV3");
    EXPECT_EQ(back.Codec, "Microsoft MPEG4 V3");
    EXPECT_EQ(ReadUtf8(path), original);
}

TEST_F(MainDialogTest, FailedSaveWarnsThenShowsTheError) {
    const std::string path = Copy("kind03-mp43.avi", "held.avi");
    const Bytes original = ReadUtf8(path);
    BoxSeen box;
    MainView after{};
    RunWithSteps(CommandLineFor(path),
                 {[&](HWND d) {
                      const HANDLE held = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                        nullptr, OPEN_EXISTING, 0, nullptr);
                      Command(d, IDC_SAVE);
                      ::CloseHandle(held);
                      after = Look(d);
                      Command(d, IDC_QUIT);
                  },
                  AnswerBox(box)});
    EXPECT_EQ(box.Text, "Can't write to file");
    EXPECT_EQ(box.Caption, "Error");
    EXPECT_EQ(box.Icon, "warning");
    EXPECT_EQ(after.Codec, "Can't write to file");
    EXPECT_EQ(after.Targets, "");
    EXPECT_FALSE(after.ListEnabled || after.SaveEnabled);
    EXPECT_EQ(ReadUtf8(path), original);
}

TEST_F(MainDialogTest, SaveRefusedWhenTheFileChangedSinceItWasOpened) {
    const std::string path = Copy("kind03-mp43.avi", "changed.avi");
    MainView after{};
    const int unexpected = RunWithSteps(CommandLineFor(path), {[&](HWND d) {
                                            Bytes bytes = ReadUtf8(path);
                                            std::copy_n("xvid", 4, bytes.begin() + kHandlerAt);
                                            WriteFileBytes(path, bytes);
                                            Command(d, IDC_SAVE);
                                            after = Look(d);
                                            Command(d, IDC_QUIT);
                                        }});
    EXPECT_EQ(unexpected, 0);
    EXPECT_EQ(after.Codec, "File has changed since it was opened");
    EXPECT_FALSE(after.ListEnabled || after.SaveEnabled);
    EXPECT_EQ(CodesAt(ReadUtf8(path)), "xvid/MP43");
}

TEST_F(MainDialogTest, FailedAnalysesLeaveNothingToSave) {
    const std::string text = Copy("not-riff-text.avi", "text.avi");
    const MainView notAvi = LookAtStart(CommandLineFor(text));
    const MainView notFound = LookAtStart(CommandLineFor(temp_.Root() + "\\missing.avi"));
    EXPECT_EQ(notAvi.File, text);
    EXPECT_EQ(notAvi.Codec, "File isn't AVI-file");
    EXPECT_EQ(notFound.Codec, "File no found");
    for (const MainView& view : {notAvi, notFound}) {
        EXPECT_EQ(view.Targets, "");
        EXPECT_FALSE(view.ListEnabled || view.LabelEnabled || view.SaveEnabled);
    }
}

TEST_F(MainDialogTest, QuotedArgumentKeepsItsBlanks) {
    const std::string path = Copy("kind10-xvid.avi", "with blanks\\my clip.avi");
    const MainView view = LookAtStart("\"C:\\Program Files\\Vidtag.exe\"  \"" + path + "\" second");
    EXPECT_EQ(view.File, path);
    EXPECT_EQ(view.Codec, "XviD");
    EXPECT_EQ(FirstArgument("prog a\"b c\"d e"), "ab cd");
    EXPECT_EQ(FirstArgument("\"prog\""), "");
}

bool Checked(HWND dialog, UINT id) {
    return (::GetMenuState(::GetSystemMenu(dialog, FALSE), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

TEST_F(MainDialogTest, LanguageSwitchTakesEffectAtTheNextStart) {
    BoxSeen toRussian, toEnglish;
    MainView english{}, russian{};
    bool checkedBefore = false, checkedAfter = false;
    RunWithSteps("Vidtag.exe", {[&](HWND d) {
                                    checkedBefore = Checked(d, 2000) && !Checked(d, 2001);
                                    SysCommand(d, 2001);
                                    checkedAfter = Checked(d, 2001) && !Checked(d, 2000);
                                    english = Look(d);
                                    Command(d, IDC_QUIT);
                                },
                                AnswerBox(toRussian)});
    EXPECT_TRUE(checkedBefore);
    EXPECT_TRUE(checkedAfter);
    EXPECT_EQ(toRussian.Text, "Язык изменится после перезапуска программы.");
    EXPECT_EQ(toRussian.Caption, "Vidtag");
    EXPECT_EQ(toRussian.Icon, "information");
    EXPECT_EQ(english.File, "[no]");
    EXPECT_EQ(StoredLanguage(), 1u);

    std::string caption, openButton;
    RunWithSteps("Vidtag.exe", {[&](HWND d) {
                                    russian = Look(d);
                                    caption = WindowText(d);
                                    openButton = ItemText(d, IDC_OPEN);
                                    SysCommand(d, 2000);
                                    Command(d, IDC_QUIT);
                                },
                                AnswerBox(toEnglish)});
    EXPECT_EQ(caption, "Vidtag v1.7 - [vidtag.org]");
    EXPECT_EQ(openButton, "&Открыть");
    EXPECT_EQ(russian.File, "[Нет]");
    EXPECT_EQ(russian.Codec, "[Неизвестно]");
    EXPECT_EQ(toEnglish.Text,
              "The language changes will take effect next time your start program.");
    EXPECT_EQ(toEnglish.Icon, "information");
    EXPECT_EQ(StoredLanguage(), 0u);
}

// The entry of the original kind carries the Russian suffix, and Save must still find its kind.
TEST_F(MainDialogTest, RussianSaveConvertsAndGoesBack) {
    StoreLanguage(1);
    const std::string path = Copy("kind03-mp43.avi", "ru.avi");
    const Bytes original = ReadUtf8(path);
    MainView converted{}, back{};
    RunWithSteps(CommandLineFor(path), {[&](HWND d) {
                     Command(d, IDC_SAVE);
                     converted = Look(d);
                     Command(d, IDC_SAVE);
                     back = Look(d);
                     Command(d, IDC_QUIT);
                 }});
    EXPECT_EQ(converted.Codec, "DivX V3 Low");
    EXPECT_EQ(converted.Targets,
              "Microsoft MPEG4 V3 (оригинальный формат)|Angel Potion V1|DivX V3 Fast");
    EXPECT_EQ(back.Codec, "Microsoft MPEG4 V3");
    EXPECT_EQ(ReadUtf8(path), original);
}

struct ShellCallSeen {
    int Calls = 0;
    HWND Owner = nullptr;
    std::string Verb, File, Parameters, Directory;
    INT Show = -1;
};
ShellCallSeen ShellCall;

HINSTANCE WINAPI RecordShellCall(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                 LPCSTR directory, INT show) {
    ShellCall = {ShellCall.Calls + 1, owner, verb, file, parameters, directory, show};
    return reinterpret_cast<HINSTANCE>(33); // above 32: the shell's success
}

// "-" for a separator; the last `count` entries.
std::string LastMenuEntries(HWND dialog, int count) {
    const HMENU menu = ::GetSystemMenu(dialog, FALSE);
    const int all = ::GetMenuItemCount(menu);
    std::string joined;
    for (int i = std::max(0, all - count); i < all; ++i) {
        wchar_t text[256] = {};
        ::GetMenuStringW(menu, i, text, 256, MF_BYPOSITION);
        const bool separator = (::GetMenuState(menu, i, MF_BYPOSITION) & MF_SEPARATOR) != 0;
        if (!joined.empty()) {
            joined += '|';
        }
        joined += separator ? std::string("-")
                            : ToUtf8(text) + "=" + std::to_string(::GetMenuItemID(menu, i));
    }
    return joined;
}

TEST_F(MainDialogTest, EachLanguageHasItsTemplateMenuAndWebPage) {
    const struct {
        DWORD Language;
        const char* Buttons;
        const char* Menu;
        const char* WebPage;
    } cases[] = {
        {0, "&Open|&Save|&Quit", "-|English=2000|Russian=2001|-|Visit Vidtag Web site=2002",
         "https://vidtag.org/"},
        {1, "&Открыть|&Записать|&Выход",
         "-|English=2000|Russian=2001|-|Посетить сайт программы=2002", "https://vidtag.org/ru/"},
    };
    ShellExecuteCall = RecordShellCall;
    for (const auto& c : cases) {
        SCOPED_TRACE("Language " + std::to_string(c.Language));
        StoreLanguage(c.Language);
        ShellCall = {};
        std::string buttons, menu;
        HWND dialog = nullptr;
        RunWithSteps("Vidtag.exe", {[&](HWND d) {
                         dialog = d;
                         buttons = ItemText(d, IDC_OPEN) + "|" + ItemText(d, IDC_SAVE) + "|" +
                                   ItemText(d, IDC_QUIT);
                         menu = LastMenuEntries(d, 5);
                         SysCommand(d, 2002);
                         Command(d, IDC_QUIT);
                     }});
        EXPECT_EQ(buttons, c.Buttons);
        EXPECT_EQ(menu, c.Menu);
        EXPECT_EQ(ShellCall.Calls, 1);
        EXPECT_EQ(ShellCall.Owner, dialog);
        EXPECT_EQ(ShellCall.Verb, "open");
        EXPECT_EQ(ShellCall.File, c.WebPage);
        EXPECT_EQ(ShellCall.Parameters + ShellCall.Directory, "");
        EXPECT_EQ(ShellCall.Show, SW_SHOWDEFAULT);
    }
    ShellExecuteCall = ::ShellExecuteA;
}

TEST_F(MainDialogTest, LanguageValueIsReadAsItsFirstFourBytesWhateverItsType) {
    const struct {
        DWORD Type;
        Bytes Data;
        DWORD Language;
    } cases[] = {
        {REG_BINARY, {1}, 1},
        {REG_DWORD, {1, 0, 0, 0}, 1},
        {REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, 1},
        {REG_BINARY, {0, 1}, 0}, // 256: no language
        {REG_BINARY, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.Type) + ", " + std::to_string(c.Data.size()) +
                     " bytes");
        ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "Language", c.Type, c.Data.data(),
                          static_cast<DWORD>(c.Data.size()));
        ReadSettings();
        EXPECT_EQ(Language, c.Language);
        EXPECT_EQ(Texts[7], c.Language == 1 ? "Нет" : "No");
    }
}

TEST_F(MainDialogTest, StoredValueOutsideTheLanguagesMeansEnglish) {
    StoreLanguage(7);
    EXPECT_EQ(LookAtStart("Vidtag.exe").File, "[no]");
    EXPECT_EQ(StoredLanguage(), 0u);
}

// Russian texts and Cyrillic file names must survive a system whose code page is not Cyrillic.
TEST_F(MainDialogTest, RussianTextsAndCyrillicNamesUnderAnEnglishLocale) {
    EXPECT_EQ(::GetACP(), static_cast<UINT>(CP_UTF8));
    StoreLanguage(1);
    const std::string text = Copy("not-riff-text.avi", "текст.avi");
    const std::string clip = Copy("kind03-mp43.avi", "Фильм\\клип.avi");
    const MainView russian = LookAtStart(CommandLineFor(text));
    StoreLanguage(0);
    MainView converted{};
    RunWithSteps(CommandLineFor(clip), {[&](HWND d) {
                     Command(d, IDC_SAVE);
                     converted = Look(d);
                     Command(d, IDC_QUIT);
                 }});
    EXPECT_EQ(russian.File, text);
    EXPECT_EQ(russian.Codec, "Файл не является AVI-файлом");
    EXPECT_EQ(converted.File, clip);
    EXPECT_EQ(converted.Codec, "DivX V3 Low");
    EXPECT_EQ(CodesAt(ReadUtf8(clip)), "div3/DIV3");
}

} // namespace
} // namespace vidtag::test
