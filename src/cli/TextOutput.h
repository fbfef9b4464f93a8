#pragma once

#include "FileJob.h"

#include <cstdio>
#include <string>

namespace vidtag::cli {

// The display name of a known kind, else the localized text of the status (or "Unknown codec").
std::string StatusText(ConversionStatus status, CodecKind kind, int language);

// Why the file could not be opened, in the system's words; empty when the system gave no reason.
std::string SystemReason(const FileReport& report, int language);
// StatusText, and for a file only the relaxed rule knows, what it looks like.
std::string ReportStatusText(const FileReport& report, int language);
// The display name of any kind, "Unknown codec" for one outside the catalogue.
std::string DisplayKindName(CodecKind kind, int language);

// "handler/compression", or a Matroska track's one code alone.
std::string CodesText(const FileReport& report, FourCC handler, FourCC compression);

// "A, B, C" with the locked mark, or the word for none.
std::string TargetNames(CodecKind kind, int language);

// A file that succeeded goes to out, one that failed to err, each with all its lines; quiet
// keeps the failures only.
void PrintText(const FileReport& report, int language, bool quiet, std::FILE* out, std::FILE* err);

// The thirteen kinds by family with their codes, as text or as one JSON object per kind, and
// kind 15 in its family, marked as found by the relaxed rule only.
void PrintKindList(bool json, std::FILE* out, int language = 0);

} // namespace vidtag::cli
