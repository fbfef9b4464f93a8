#pragma once

#include "check/Verdict.h"

#include <string>
#include <string_view>

namespace vidtag::check {

// The DivX Certified profiles are for AVI files: a Matroska file gets the problem "container",
// fixed by remuxing, and a verdict no better than "remux". The note gives the ffmpeg command that
// copies the judged video stream (videoStream: its place among FFmpeg's video streams) and any
// audio into an AVI file labelled with the code the device wants: the retag's target's
// compression code, else the file's own.
void AddContainerProblem(CheckResult& result, FourCC code, std::string_view fileName,
                         int language = 0, int videoStream = 0);

// "ffmpeg -i IN.mkv -map 0:v:0 -map 0:a? -c copy -vtag DX50 OUT.avi", with the names quoted
// for the shell where they need to be.
std::string RemuxCommand(std::string_view in, std::string_view out, FourCC code,
                         int videoStream = 0);

} // namespace vidtag::check
