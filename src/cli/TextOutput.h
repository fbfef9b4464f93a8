#pragma once

#include "FileJob.h"

#include <cstdio>
#include <string>

namespace vidtag::cli {

// The display name of a known kind, else the localized text of the status (or "Unknown codec").
std::string StatusText(ConversionStatus status, CodecKind kind, int language);

// The display name of any kind, "Unknown codec" for one outside the catalogue.
std::string KindName(CodecKind kind, int language);

// "A, B, C" with the locked mark, or the word for none.
std::string TargetNames(CodecKind kind, int language);

// Successes go to out, failures to err; quiet drops the successes.
void PrintText(const FileReport& report, int language, bool quiet, std::FILE* out, std::FILE* err);

// The thirteen kinds by family with their codes, as text or as one JSON object per kind.
void PrintKindList(bool json, std::FILE* out);

} // namespace vidtag::cli
