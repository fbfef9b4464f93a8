#include "CheckJob.h"
#include "CheckOutput.h"
#include "CliTexts.h"
#include "ConsoleText.h"
#include "FileJob.h"
#include "FileRun.h"
#include "FolderExpansion.h"
#include "JsonOutput.h"
#include "Options.h"
#include "OrderedRun.h"
#include "OutputCheck.h"
#include "PathText.h"
#include "ProgressLine.h"
#include "TextOutput.h"
#include "journal/Journal.h"
#include "os/Utf8Path.h"

#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

namespace {

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
    if (options.ListKinds) {
        PrintKindList(options.Json, stdout, options.Language);
        return FinishOutput(0, outputClosed, options.Language);
    }
    if (options.ListProfiles) {
        return FinishOutput(PrintProfileList(options.Json, stdout, options.Language), outputClosed,
                            options.Language);
    }
    ConvertRequest request;
    request.Target = options.To;
    vidtag::JobOptions& settings = request.Job;
    // vidtag-cli knows the codes it writes for devices; the dialog keeps the exact rule.
    settings.Rule = options.Relaxed ? vidtag::ClassificationRule::Relaxed
                                    : vidtag::ClassificationRule::WithDeviceCodes;
    // vidtag-cli shows what the stream is on every analysis; only a device check needs the
    // bitrates, which cost a large file a few reads of its index.
    settings.Read = options.Checks.empty() ? vidtag::Reading::Stream : vidtag::Reading::Frames;
    // A conversion that cannot be recorded writes nothing: the promise is that every file can go
    // back to what it was.
    settings.Journal = options.NoJournal ? vidtag::JournalUse::Off : vidtag::JournalUse::Required;
    settings.KeepTime = options.PreserveTime;
    settings.DryRun = options.DryRun;
    if (!options.Checks.empty()) {
        request.Decide = CheckDecision(options.Checks, options.Auto, options.Language);
    }
    bool warnedSkipped = false;

    const std::vector<FileArgument> files =
        ExpandArguments(options.Paths, options.Recursive, options.Language);
    ProgressLine progress(ProgressWanted(options.Quiet, options.Json), files.size());
    std::vector<FileReport> outcomes(files.size());
    bool anyFailed = false;
    auto job = [&](std::size_t i) { outcomes[i] = RunFile(files[i], options, request); };
    auto waiting = [&](std::size_t i) { progress.Update(i, files[i].Path); };
    auto done = [&](std::size_t i) {
        const FileReport report = std::move(outcomes[i]);
        if (report.JournalSkipped && !warnedSkipped) {
            warnedSkipped = true;
            progress.Clear();
            PutText(stderr, "vidtag-cli: " +
                                Fill(MessageText(options.Language, Message::JournalSkipped),
                                     DisplayName(vidtag::ShownJournalPath())) +
                                "\n");
        }
        const bool failed = report.Failed() || FailsCheck(report);
        anyFailed = anyFailed || failed;
        // Text puts a failed file's lines on stderr, JSON everything on stdout.
        progress.ClearBefore(!options.Json && report.Failed());
        if (options.Json) {
            if (!options.Quiet || failed) {
                PutText(stdout, JsonLine(report, options.Language) + "\n");
            }
        } else {
            PrintText(report, options.Language, options.Quiet, stdout, stderr);
        }
        FlushOutput();
    };
    RunInOrder(files.size(), JobsFor(options), job, done, waiting);
    progress.Clear();
    return FinishOutput(anyFailed ? 1 : 0, outputClosed, options.Language);
}
