#include "FileJob.h"

#include "CliTexts.h"
#include "LocalizedTexts.h"
#include "TextOutput.h"
#include "os/FileLayer.h"
#include "os/SystemError.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace vidtag::cli {

namespace fs = std::filesystem;

namespace {

void TakeEngineState(FileReport& report) {
    report.Status = EngineState.Status;
    report.Kind = EngineState.CurrentKind;
    report.Handler = EngineState.CurrentHandler;
    report.Compression = EngineState.CurrentCompression;
    // Without a stream header the engine still adds the field's offset to position 0; no file
    // can hold a stream header there, in front of its own RIFF header.
    report.HandlerPos = EngineState.HandlerPos > 4 ? EngineState.HandlerPos : 0;
    report.CompressionPos = EngineState.CompressionPos;
}

fs::path PathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

// Runs one engine call and keeps the system's reason when it could not open the file.
ConversionStatus Process(FileReport& report, CodecKind kind) {
    os::RememberSystemError(0);
    const ConversionStatus status = ProcessFile(report.Path, kind);
    const bool openFailed =
        status == kStatusNotFound || status == kStatusCannotOpen || status == kStatusCannotWrite;
    report.SystemError = openFailed ? os::LastSystemError() : 0;
    return status;
}

// Whether the real run could open the file for writing: the same open, and nothing written.
// Like the real run, a read-only attribute does not count when it may be lifted; setting the
// attributes to what they are tells whether it may, without changing anything.
bool CouldWrite(const std::string& path, int& reason) {
    os::FileLayer& files = os::Files();
    os::RememberSystemError(0);
    const os::FileHandle handle =
        files.Open(path.c_str(), os::Access::ReadWrite, os::Share::ReadWrite);
    if (handle != os::InvalidHandle()) {
        files.Close(handle);
        return true;
    }
    reason = os::LastSystemError();
    os::Attributes attributes = 0;
    return files.GetAttributes(path.c_str(), attributes) && files.IsReadOnly(attributes) &&
           files.SetAttributes(path.c_str(), attributes);
}

} // namespace

FileReport AnalyseFile(const std::string& path) {
    FileReport report;
    report.Path = path;
    report.Rule = AnalysisRule;
    report.Status = Process(report, kNoKind);
    if (report.Status == kStatusDone) {
        TakeEngineState(report);
        if (report.Rule == ClassificationRule::Exact && report.Kind == kUnknownKind) {
            const CodecKind relaxed = ClassifyCodecRelaxed(report.Handler, report.Compression);
            report.RelaxedKind = relaxed == kUnknownKind ? kNoKind : relaxed;
        }
    } else if (report.Status != kStatusNotFound) {
        // Only a failed existence test leaves the kind unset; its codes and positions would be
        // the previous file's.
        report.Kind = kUnknownKind;
    }
    return report;
}

FileReport ConvertFile(const std::string& path, const ConvertRequest& request, int language) {
    FileReport report = AnalyseFile(path);
    report.Conversion = true;
    report.DryRun = request.DryRun;
    report.ToKind = request.Target;
    report.FromKind = report.Kind;
    report.FromHandler = report.Handler;
    report.FromCompression = report.Compression;
    if (report.Failed() || request.Target == report.Kind) {
        return report;
    }

    const TargetList& offered = OfferedTargets(report.Kind);
    const auto targets = offered.View();
    if (std::find(targets.begin(), targets.end(), request.Target) == targets.end()) {
        report.Error = Fill(MessageText(language, Message::NotOffered), CodecNames[request.Target],
                            KindName(report.Kind), TargetNames(report.Kind, language));
        return report;
    }
    // Without a format chunk only the handler is written, and the handler "divx" alone does not
    // tell DivX 4 from DivX 5: the file would come back as an unknown codec and could not be
    // converted back.
    if (report.CompressionPos == 0 &&
        ClassifyCodec(CodePairOf(request.Target).Handler, report.Compression) != request.Target) {
        report.Error =
            Fill(MessageText(language, Message::NoFormatChunk), CodecNames[request.Target]);
        return report;
    }
    if (request.DryRun) {
        if (int reason = 0; !CouldWrite(path, reason)) {
            report.Status = kStatusCannotWrite;
            report.SystemError = reason;
        }
        return report;
    }

    std::error_code timeError;
    const fs::path fsPath = PathOf(path);
    const auto modified = fs::last_write_time(fsPath, timeError);

    const ConversionStatus written = Process(report, request.Target);
    report.Status = written;
    if (written != kStatusDone) {
        return report;
    }
    report.Converted = true;
    if (request.PreserveTime) {
        if (!timeError) {
            fs::last_write_time(fsPath, modified, timeError);
        }
        if (timeError) {
            report.Error = Fill(MessageText(language, Message::TimeNotKept), timeError.message());
        }
    }

    const ConversionStatus confirmed = ProcessFile(path, kNoKind);
    report.Status = confirmed;
    if (confirmed == kStatusDone) {
        TakeEngineState(report);
    }
    if (confirmed != kStatusDone || EngineState.CurrentKind != request.Target) {
        report.Error =
            Fill(MessageText(language, Message::NotConfirmed), CodecNames[request.Target],
                 StatusText(report.Status, report.Kind, language));
    }
    return report;
}

FileReport FailedArgument(const std::string& path, std::string error) {
    FileReport report;
    report.Path = path;
    report.Status = kStatusNotFound;
    report.ArgumentOnly = true;
    report.Error = std::move(error);
    return report;
}

} // namespace vidtag::cli
