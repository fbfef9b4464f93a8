#include "DialogDriver.h"

#include "FrontState.h"
#include "OpenDialog.h"
#include "engine/Engine.h"
#include "resources/ResourceIds.h"
#include "support/TempDir.h"

#include <commdlg.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>

namespace vidtag::test {
namespace {

struct Shift {
    int Id, Right, Down, Wider, Taller;
};
constexpr Shift kExpectedShifts[] = {
    {1120, 0, 0, 200, 100},      {1089, 0, 100, 0, 0},   {1090, 0, 100, 0, 0},
    {1152, 0, 100, 170, 0},      {1136, 0, 100, 170, 0}, {IDOK, 180, 100, 25, 0},
    {IDCANCEL, 180, 100, 25, 0},
};

struct Geometry {
    RECT Frame{};
    std::map<int, RECT> Controls; // client coordinates of the outer dialog
};

Geometry Measure(HWND dialog) {
    Geometry geometry;
    ::GetWindowRect(dialog, &geometry.Frame);
    for (const Shift& shift : kExpectedShifts) {
        if (const HWND control = ::GetDlgItem(dialog, shift.Id)) {
            RECT box{};
            ::GetWindowRect(control, &box);
            ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&box), 2);
            geometry.Controls[shift.Id] = box;
        }
    }
    return geometry;
}

UINT_PTR CALLBACK LeaveAlone(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

// The platform's own dialog with the program's flags, before any enlarging.
Geometry PlatformGeometry() {
    char name[2048] = {};
    OPENFILENAMEA request{};
    request.lStructSize = OPENFILENAME_SIZE_VERSION_400A; // as the program asks, no places bar
    request.lpstrFilter = "Video files (*.avi)\0*.AVI\0All files\0*.*\0";
    request.lpstrFile = name;
    request.nMaxFile = sizeof name;
    request.Flags =
        OFN_HIDEREADONLY | OFN_ENABLEHOOK | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES;
    request.lpfnHook = LeaveAlone;
    Geometry geometry;
    DriveWindows([&] { ::GetOpenFileNameA(&request); }, {[&](HWND d) {
                     geometry = Measure(::GetAncestor(d, GA_ROOT));
                     ::PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
                 }});
    return geometry;
}

int Width(const RECT& r) {
    return r.right - r.left;
}
int Height(const RECT& r) {
    return r.bottom - r.top;
}

RECT WorkArea() {
    RECT work{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

void ExpectEnlargedAndCentred(const Geometry& own, const Geometry& ours, const RECT& work) {
    EXPECT_EQ(Width(ours.Frame), Width(own.Frame) + 200);
    EXPECT_EQ(Height(ours.Frame), Height(own.Frame) + 100);
    EXPECT_EQ(ours.Frame.left, work.left + (Width(work) - Width(ours.Frame)) / 2);
    EXPECT_EQ(ours.Frame.top, work.top + (Height(work) - Height(ours.Frame)) / 2);
    EXPECT_FALSE(own.Controls.empty());
    for (const Shift& shift : kExpectedShifts) {
        if (!own.Controls.contains(shift.Id)) {
            continue;
        }
        const RECT& before = own.Controls.at(shift.Id);
        const RECT& after = ours.Controls.at(shift.Id);
        SCOPED_TRACE("control " + std::to_string(shift.Id));
        EXPECT_EQ(after.left - before.left, shift.Right);
        EXPECT_EQ(after.top - before.top, shift.Down);
        EXPECT_EQ(Width(after) - Width(before), shift.Wider);
        EXPECT_EQ(Height(after) - Height(before), shift.Taller);
    }
}

class OpenDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Orvelle\\Vidtag");
        EngineState = {};
        FilterIndex = 1;
    }
    void TearDown() override { ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Orvelle\\Vidtag"); }

    std::string Copy(const std::string& sample, const std::string& name) {
        const std::string path = temp_.Root() + "\\" + name;
        std::filesystem::copy_file(SamplePath(sample), std::u8string(path.begin(), path.end()));
        return path;
    }

    TempDir temp_;
};

// The program's open-file dialog, measured and cancelled.
Geometry ProgramGeometry() {
    Geometry ours;
    RunWithSteps("Vidtag.exe", {[](HWND d) {
                                    Command(d, IDC_OPEN);
                                    Command(d, IDC_QUIT);
                                },
                                [&](HWND open) {
                                    ours = Measure(open);
                                    ::PostMessageA(open, WM_COMMAND, IDCANCEL, 0);
                                }});
    return ours;
}

TEST_F(OpenDialogTest, EnlargedByTheLayoutAndCentredOnTheWorkArea) {
    ExpectEnlargedAndCentred(PlatformGeometry(), ProgramGeometry(), WorkArea());
}

// A task bar on the left or at the top moves the work area away from the screen's origin.
TEST_F(OpenDialogTest, CentredOnAWorkAreaThatDoesNotStartAtTheOrigin) {
    const RECT saved = WorkArea();
    RECT shifted{saved.left + 120, saved.top + 60, saved.right, saved.bottom};
    ::SystemParametersInfoA(SPI_SETWORKAREA, 0, &shifted, 0);
    const RECT applied = WorkArea();
    if (!::EqualRect(&shifted, &applied)) {
        GTEST_SKIP() << "the work area cannot be changed here";
    }
    const Geometry own = PlatformGeometry();
    const Geometry ours = ProgramGeometry();
    ::SystemParametersInfoA(SPI_SETWORKAREA, 0, const_cast<RECT*>(&saved), 0);
    ExpectEnlargedAndCentred(own, ours, shifted);
}

struct OpenSeen {
    std::string Title, Name, Filters;
    int Filter = -1;
};

WindowStep LookThenCancel(OpenSeen& seen, bool switchToAllFiles) {
    return [&seen, switchToAllFiles](HWND open) {
        seen.Title = WindowText(open);
        seen.Name = ItemText(open, 1152);
        seen.Filters = ComboEntries(open, 1136);
        const HWND types = ::GetDlgItem(open, 1136);
        seen.Filter = static_cast<int>(::SendMessageA(types, CB_GETCURSEL, 0, 0));
        if (switchToAllFiles) {
            ::SendMessageA(types, CB_SETCURSEL, 1, 0);
            for (const WORD notification : {CBN_SELCHANGE, CBN_SELENDOK}) {
                ::SendMessageA(open, WM_COMMAND, MAKEWPARAM(1136, notification),
                               reinterpret_cast<LPARAM>(types));
            }
        }
        ::PostMessageA(open, WM_COMMAND, IDCANCEL, 0);
    };
}

TEST_F(OpenDialogTest, CancelKeepsTheFileAndTheLastFilter) {
    const std::string path = Copy("kind03-mp43.avi", "clip.avi");
    MainView before{}, after{};
    OpenSeen first, second;
    RunWithSteps(CommandLineFor(path),
                 {[&](HWND d) {
                      before = Look(d);
                      Command(d, IDC_OPEN);
                      Command(d, IDC_OPEN);
                      after = Look(d);
                      Command(d, IDC_QUIT);
                  },
                  LookThenCancel(first, true), LookThenCancel(second, false)});
    EXPECT_EQ(first.Title, "Open file - Vidtag");
    EXPECT_EQ(first.Filters, "Video files (*.avi)|All files");
    EXPECT_EQ(first.Filter, 0);
    EXPECT_NE(first.Name.find("clip.avi"), std::string::npos);
    EXPECT_EQ(second.Filter, 1);
    EXPECT_EQ(after.File, before.File);
    EXPECT_EQ(after.Codec, before.Codec);
    EXPECT_EQ(after.Targets, before.Targets);
    EXPECT_EQ(after.SaveEnabled, before.SaveEnabled);
}

struct RequestSeen {
    std::string Filters; // names and patterns joined with '|'
    DWORD Flags = 0;
};
RequestSeen Request;

BOOL WINAPI RecordRequest(LPOPENFILENAMEA request) {
    Request = {};
    for (const char* part = request->lpstrFilter; *part != '\0'; part += std::strlen(part) + 1) {
        if (!Request.Filters.empty()) {
            Request.Filters += '|';
        }
        Request.Filters += part;
    }
    Request.Flags = request->Flags;
    return FALSE; // as if cancelled
}

// Names alone show in the dialog; the patterns decide which files the list offers.
TEST_F(OpenDialogTest, RequestsAviOrAnyExistingFile) {
    GetOpenFileNameCall = RecordRequest;
    RunWithSteps("Vidtag.exe", {[](HWND d) {
                     Command(d, IDC_OPEN);
                     Command(d, IDC_QUIT);
                 }});
    GetOpenFileNameCall = ::GetOpenFileNameA;
    EXPECT_EQ(Request.Filters, "Video files (*.avi)|*.AVI|All files|*.*");
    EXPECT_EQ(Request.Flags, static_cast<DWORD>(OFN_HIDEREADONLY | OFN_ENABLEHOOK |
                                                OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES));
}

TEST_F(OpenDialogTest, ChosenTextFileNamedAviIsNotAnAviFile) {
    const std::string path = Copy("not-riff-text.avi", "notes.avi");
    const MainView view = LookAfterOpening(path);
    EXPECT_EQ(view.File, path);
    EXPECT_EQ(view.Codec, "File isn't AVI-file");
    EXPECT_EQ(view.Targets, "");
    EXPECT_FALSE(view.ListEnabled || view.LabelEnabled || view.SaveEnabled);
}

// Over 255 bytes in UTF-8 though well under the platform's limit in characters.
TEST_F(OpenDialogTest, ChosenFileWithALongCyrillicNameIsAnalysed) {
    std::string name;
    for (int i = 0; i < 12; ++i) {
        name += "видеофайл-";
    }
    const std::string path = Copy("kind10-xvid.avi", name + ".avi");
    ASSERT_GT(path.size(), 255u);
    const MainView view = LookAfterOpening(path);
    EXPECT_EQ(view.File, path);
    EXPECT_EQ(view.Codec, "XviD");
    EXPECT_TRUE(view.SaveEnabled);
}

} // namespace
} // namespace vidtag::test
