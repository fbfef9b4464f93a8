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
#include "journal/JournalIndex.h"
#include "os/Utf8Path.h"

#include <cstdio>
#include <memory>
#include <new>
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

// Memory ran out: the run ends with its own status, never with a verdict on a file.
constexpr int kOutOfMemoryStatus = 3;

int OutOfMemory(const std::string& reading, bool outputClosed, int language) {
    using namespace vidtag::cli;
    PutText(stderr, "vidtag-cli: " +
                        Fill(MessageText(language, Message::OutOfMemory), DisplayName(reading)) +
                        "\n");
    return FinishOutput(kOutOfMemoryStatus, outputClosed, language);
}

} // namespace

int main(int argc, char** argv) {
    using namespace vidtag::cli;
    const bool outputClosed = ReserveStandardDescriptors();
    WatchMemory();

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
    // A run that writes nothing reads the journal once, for every thread; writes read the latest
    // records for each file.
    if (!options.NoJournal && !Writes(options)) {
        try {
            settings.SharedJournal = std::make_shared<const vidtag::JournalIndex>(
                settings.JournalFile.empty() ? vidtag::JournalPath() : settings.JournalFile);
        } catch (const std::bad_alloc&) {
            return OutOfMemory(vidtag::ShownJournalPath(), outputClosed, options.Language);
        }
    }

    const std::vector<FileArgument> files =
        ExpandArguments(options.Paths, options.Recursive, options.Language);
    ProgressLine progress(ProgressWanted(options.Quiet, options.Json), files.size());
    const unsigned jobs = JobsFor(options);
    const std::size_t window = WindowFor(jobs);
    std::vector<FileOutcome> outcomes(window);
    bool anyFailed = false;
    std::size_t ranOutAt = files.size();
    auto job = [&](std::size_t i) { outcomes[i % window] = RunFile(files[i], options, request); };
    auto waiting = [&](std::size_t i) { progress.Update(i, files[i].Path); };
    auto print = [&](std::size_t i) {
        const FileOutcome outcome = std::move(outcomes[i % window]);
        outcomes[i % window] = {};
        if (outcome.OutOfMemory) {
            return false;
        }
        const FileReport& report = outcome.Report;
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
        return true;
    };
    // Printing may run out of memory too; the threads then stop as they do for a job's shortage.
    auto done = [&](std::size_t i) {
        bool printed = false;
        try {
            printed = print(i);
        } catch (const std::bad_alloc&) {
        }
        ranOutAt = printed ? ranOutAt : i;
        return printed;
    };
    RunInOrder(files.size(), jobs, window, job, done, waiting);
    progress.Clear();
    if (ranOutAt < files.size()) {
        return OutOfMemory(files[ranOutAt].Path, outputClosed, options.Language);
    }
    return FinishOutput(anyFailed ? 1 : 0, outputClosed, options.Language);
}
