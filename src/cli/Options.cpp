#include "Options.h"

#include "CliTexts.h"
#include "ConsoleText.h"
#include "KindLookup.h"
#include "ProfileFile.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

namespace vidtag::cli {

namespace {

constexpr int kUsageError = 2;

std::optional<int> UsageError(const std::string& message) {
    PutText(stderr, "vidtag-cli: " + message + "\n");
    return kUsageError;
}

std::string KindNames(const std::vector<CodecKind>& kinds) {
    std::string names;
    for (const CodecKind kind : kinds) {
        names += names.empty() ? "" : ", ";
        names += std::to_string(kind) + " " + CodecNames[kind];
    }
    return names;
}

bool IsAuto(const std::string& text) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower == "auto";
}

// The choices --check brings, and what it excludes.
std::optional<int> CheckUsage(const std::string& profileName, bool checkGiven, Options& options) {
    if (checkGiven) {
        // "lg-webos,ps3": one verdict for every player of a household.
        try {
            for (std::size_t at = 0;;) {
                const std::size_t comma = profileName.find(',', at);
                options.Checks.push_back(ResolveProfile(profileName.substr(at, comma - at)));
                if (comma == std::string::npos) {
                    break;
                }
                at = comma + 1;
            }
        } catch (const std::exception& error) {
            return UsageError(error.what());
        }
    }
    if (options.Auto && options.Checks.empty()) {
        return UsageError(MessageText(options.Language, Message::ToAutoNeedsCheck));
    }
    if (!options.Checks.empty() && options.Restore) {
        return UsageError(MessageText(options.Language, Message::CheckWithRestore));
    }
    if (options.ListProfiles && !options.Paths.empty()) {
        return UsageError(MessageText(options.Language, Message::ListProfilesWithFiles));
    }
    return std::nullopt;
}

// Whether "--lang ru" or "--lang=ru" is among the arguments.
int EarlyLanguage(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--lang=ru" ||
            (argument == "--lang" && i + 1 < argc && std::string(argv[i + 1]) == "ru")) {
            return 1;
        }
    }
    return 0;
}

// CLI11 writes help, the version and its errors to the streams it is given; they go out the way
// every other text does.
int Exit(const CLI::App& app, const CLI::Error& error) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = app.exit(error, out, err);
    PutText(stdout, out.str());
    PutText(stderr, err.str());
    return status;
}

// Digits only, in decimal: "08" is 8. Nothing when the text is no number or too long for one.
std::optional<unsigned> DecimalJobs(const std::string& text) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return static_cast<unsigned>(std::stoul(text, nullptr, 10));
}

std::string JobsCheck(const std::string& text) {
    const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    if (!digits) {
        return "Value " + text + " is not a number";
    }
    const std::optional<unsigned> jobs = DecimalJobs(text);
    if (!jobs || *jobs < 1 || *jobs > kMaxJobs) {
        return "Value " + text + " not in range 1 to " + std::to_string(kMaxJobs);
    }
    return {};
}

} // namespace

std::optional<int> ParseOptions(int argc, const char* const* argv, Options& options) {
    CLI::App app{
        "Rewrites the codec codes of MPEG-4 family AVI and Matroska files in place, so "
        "that another decoder plays them.\n\n"
        "  vidtag-cli [options] FILE|FOLDER...            analyse\n"
        "  vidtag-cli --to KIND [options] FILE|FOLDER...  convert\n"
        "  vidtag-cli --restore [options] FILE|FOLDER...  back to the recorded original\n"
        "  vidtag-cli --rebuild-index [options] FILE|FOLDER...\n"
        "                                                 a cut AVI file plays and seeks again\n"
        "  vidtag-cli --list-kinds                        the kinds by family, with codes\n"
        "  vidtag-cli --check PROFILE [--to KIND|auto] FILE|FOLDER...\n"
        "                                                 will it play on the device?\n"
        "  vidtag-cli --list-profiles                     the device profiles",
        "vidtag-cli"};
    app.footer(
        "KIND: a display name in any case (\"divx 5\"), a code (\"DX50\", \"xvid\") or a "
        "number 1 to 13; with --check also \"auto\".\nPROFILE: a name from --list-profiles "
        "(divx-home-theater, mpeg4-asp-l5, lg-webos, ...), a FILE.json, or NAME for NAME.json "
        "in the user's profile folder; several, comma-separated, for one verdict for "
        "all.\nExit status: 0 all files done "
        "(with --check: and all play), 1 a file "
        "failed or, with --check, does not play, 2 usage error, 3 memory ran out.");
    // Options look the same everywhere, and a path such as /tmp/a.avi under Wine stays a path.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "vidtag-cli " VIDTAG_VERSION);
    std::string language = "en";
    // Errors in the command line are said in the language asked for, before it is parsed.
    const int early = EarlyLanguage(argc, argv);
    app.failure_message([early](const CLI::App*, const CLI::Error& error) {
        return std::string(error.what()) + "\n" + MessageText(early, Message::RunWithHelp) + "\n";
    });
    CLI::Option* to =
        app.add_option("--to", options.ToText, "Convert to KIND")->option_text("KIND");
    app.add_flag("--json", options.Json, "One JSON object per file and line");
    app.add_flag("--dry-run", options.DryRun, "Say what would change, write nothing");
    app.add_flag(
        "-r,--recursive", options.Recursive,
        "Process the .avi and .mkv files in folders at any depth; links inside them are not "
        "followed");
    // Read as a decimal number, whatever its leading zeros; the last -j given wins, so that an
    // alias can be overridden.
    std::string jobs;
    app.add_option("-j,--jobs", jobs,
                   "Analyse and check N files at once (default " + std::to_string(kDefaultJobs) +
                       "; conversions write one file at a time)")
        ->check(JobsCheck, "1 to " + std::to_string(kMaxJobs))
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->option_text("N");
    app.add_flag("-P,--preserve-time", options.PreserveTime, "Keep the modification time");
    app.add_option("--lang", language, "Language of the texts")
        ->check(
            [early](const std::string& value) {
                return value == "en" || value == "ru"
                           ? std::string()
                           : Fill(MessageText(early, Message::LanguageUnknown), value);
            },
            "en|ru")
        ->option_text("en|ru");
    app.add_flag("-q,--quiet", options.Quiet, "Report failures only");
    app.add_flag("--restore", options.Restore,
                 "Write back the codes each file had before its recorded conversions");
    app.add_flag("--rebuild-index", options.RebuildIndex,
                 "Append a new index to AVI files whose download was cut short, and set the "
                 "header fields a player reads; --restore undoes it");
    app.add_flag("--no-journal", options.NoJournal,
                 "Convert without reading or writing the conversion journal");
    app.add_flag("--list-kinds", options.ListKinds, "List the kinds by family, with their codes");
    app.add_flag("--relaxed", options.Relaxed,
                 "Also recognise the codes FFmpeg, MEncoder and GStreamer write (any case, the "
                 "code in both fields, FMP4)");
    std::string profileName;
    CLI::Option* check =
        app.add_option("--check", profileName,
                       "Say whether each file plays on a player of PROFILE; with --to, convert "
                       "only files that will")
            ->option_text("PROFILE");
    app.add_flag("--list-profiles", options.ListProfiles,
                 "List the device profiles and their limits");
    app.add_option("paths", options.Paths, "Files and folders")->option_text("FILE|FOLDER...");

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return Exit(app, done);
    } catch (const CLI::ParseError& error) {
        const int status = Exit(app, error);
        return status == 0 ? 0 : kUsageError;
    }
    options.Language = language == "ru" ? 1 : 0;
    if (!jobs.empty()) {
        options.Jobs = *DecimalJobs(jobs);
    }

    options.Auto = to->count() > 0 && IsAuto(options.ToText);
    if (to->count() > 0 && !options.Auto) {
        const std::vector<CodecKind> kinds = LookupKind(options.ToText);
        if (kinds.empty() && NamesFFmpegKind(options.ToText)) {
            return UsageError(Fill(MessageText(options.Language, Message::KindNeverWritten),
                                   KindName(kFFmpegKind)));
        }
        if (kinds.empty()) {
            return UsageError(
                Fill(MessageText(options.Language, Message::KindUnknown), options.ToText));
        }
        if (kinds.size() > 1) {
            return UsageError(Fill(MessageText(options.Language, Message::KindAmbiguous),
                                   options.ToText, KindNames(kinds)));
        }
        options.To = kinds.front();
    }
    if (options.ListKinds && !options.Paths.empty()) {
        return UsageError(MessageText(options.Language, Message::ListKindsWithFiles));
    }
    if (options.Restore && options.NoJournal) {
        return UsageError(MessageText(options.Language, Message::RestoreWithoutJournal));
    }
    if (options.RebuildIndex && (options.Restore || to->count() > 0 || check->count() > 0)) {
        return UsageError(MessageText(options.Language, Message::RebuildIndexAlone));
    }
    if (options.Restore && to->count() > 0) {
        return UsageError(MessageText(options.Language, Message::RestoreWithTo));
    }
    if (auto status = CheckUsage(profileName, check->count() > 0, options)) {
        return status;
    }
    if (options.Paths.empty() && !options.ListKinds && !options.ListProfiles) {
        return UsageError(MessageText(options.Language, Message::NoFiles));
    }
    return std::nullopt;
}

} // namespace vidtag::cli
