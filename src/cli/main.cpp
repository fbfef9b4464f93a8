#include "CheckJob.h"
#include "CheckOutput.h"
#include "CliTexts.h"
#include "ConsoleText.h"
#include "FileJob.h"
#include "FolderExpansion.h"
#include "JsonOutput.h"
#include "Options.h"
#include "OutputCheck.h"
#include "TextOutput.h"
#include "journal/Journal.h"
#include "os/Utf8Path.h"

#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include <shellapi.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr std::size_t kProgressAbove = 20;

bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

// The arguments as UTF-8. Windows hands main() the ANSI code page's form, which loses every
// character outside it unless the manifest's UTF-8 code page is honoured, so the wide command
// line is the one to trust.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr) {
        std::vector<std::string> arguments;
        for (int i = 0; i < count; ++i) {
            arguments.push_back(vidtag::os::Utf8FromWide(wide[i]));
        }
        LocalFree(wide);
        return arguments;
    }
#endif
    return std::vector<std::string>(argv, argv + argc);
}

} // namespace

int main(int argc, char** argv) {
    using namespace vidtag::cli;
    const bool outputClosed = ReserveStandardDescriptors();

    const std::vector<std::string> arguments = Utf8Arguments(argc, argv);
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments) {
        pointers.push_back(argument.c_str());
    }
    Options options;
    if (const auto status =
            ParseOptions(static_cast<int>(pointers.size()), pointers.data(), options)) {
        return FinishOutput(*status, outputClosed, options.Language);
    }
    // vidtag-cli knows the codes it writes for devices; the dialog keeps the exact rule.
    vidtag::AnalysisRule = options.Relaxed ? vidtag::ClassificationRule::Relaxed
                                           : vidtag::ClassificationRule::WithDeviceCodes;
    if (options.ListKinds) {
        PrintKindList(options.Json, stdout, options.Language);
        return FinishOutput(0, outputClosed, options.Language);
    }
    if (options.ListProfiles) {
        return FinishOutput(PrintProfileList(options.Json, stdout, options.Language), outputClosed,
                            options.Language);
    }
    // vidtag-cli shows what the stream is on every analysis; the dialog does not, and leaves the
    // frames unread.
    vidtag::SetStreamReading(true);
    // Only a device check needs the bitrates, which cost a large file a few reads of its index.
    vidtag::SetRateReading(!options.Checks.empty());

    // A conversion that cannot be recorded writes nothing: the promise is that every file can go
    // back to what it was.
    vidtag::SetJournalUse(options.NoJournal ? vidtag::JournalUse::Off
                                            : vidtag::JournalUse::Required);
    vidtag::SetKeepModifiedTime(options.PreserveTime);
    ConvertRequest request{
        options.To, options.DryRun, options.PreserveTime, !options.NoJournal, {}};
    if (!options.Checks.empty()) {
        request.Decide = CheckDecision(options.Checks, options.Auto, options.Language);
    }
    bool warnedSkipped = false;

    const std::vector<FileArgument> files =
        ExpandArguments(options.Paths, options.Recursive, options.Language);
    const bool showProgress = files.size() > kProgressAbove && StderrIsTerminal();
    bool anyFailed = false;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (showProgress) {
            PutText(stderr,
                    "\r[" + std::to_string(i + 1) + "/" + std::to_string(files.size()) + "]\x1b[K");
            std::fflush(stderr);
        }
        const FileArgument& file = files[i];
        FileReport report;
        if (!file.Error.empty()) {
            report = FailedArgument(file.Path, file.Error);
        } else if (options.Restore) {
            report = RestoreFile(file.Path, request, options.Language);
        } else if (options.To != vidtag::kNoKind || options.Auto) {
            report = ConvertFile(file.Path, request, options.Language);
            // A file refused before the check was asked still says what the check makes of it.
            if (!options.Checks.empty() && !report.Check) {
                AttachCheck(report, options.Checks, options.Language);
            }
        } else {
            report = AnalyseFile(file.Path, !options.NoJournal, options.Language);
            if (!options.Checks.empty()) {
                AttachCheck(report, options.Checks, options.Language);
            }
        }
        if (vidtag::JournalReport.SkippedLines > 0 && !warnedSkipped) {
            warnedSkipped = true;
            PutText(stderr, "vidtag-cli: " +
                                Fill(MessageText(options.Language, Message::JournalSkipped),
                                     vidtag::JournalPath()) +
                                "\n");
        }
        anyFailed = anyFailed || report.Failed() || FailsCheck(report);
        if (showProgress) {
            PutText(stderr, "\r\x1b[K");
        }
        if (options.Json) {
            if (!options.Quiet || report.Failed() || FailsCheck(report)) {
                PutText(stdout, JsonLine(report, options.Language) + "\n");
            }
        } else {
            PrintText(report, options.Language, options.Quiet, stdout, stderr);
        }
        FlushOutput();
    }
    return FinishOutput(anyFailed ? 1 : 0, outputClosed, options.Language);
}
