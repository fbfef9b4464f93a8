// The index rebuild against FFmpeg: files made by ffmpeg, cut at test time where a download
// stops, rebuilt, read by ffprobe and ffmpeg, and undone byte for byte.
#include "engine/IndexJob.h"
#include "engine/Jobs.h"
#include "journal/JournalLine.h"
#include "journal/RecordCheck.h"
#include "os/FileLayer.h"
#include "streams/Stream64.h"
#include "support/FaultyFileLayer.h"
#include "support/ShellCommand.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

namespace vidtag {
namespace {

using test::Bytes;

std::uint32_t Le32At(const Bytes& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

std::size_t Find(const Bytes& bytes, const char* text, std::size_t from = 0) {
    const auto at = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(),
                                text, text + std::strlen(text));
    return static_cast<std::size_t>(at - bytes.begin());
}

// A chunk of the movie data as the whole file's own idx1 lists it.
struct Chunk {
    std::size_t Pos; // of its header
    std::uint32_t Size;
    bool Video;
};

struct Source {
    Bytes File;
    std::vector<Chunk> Chunks;
    std::size_t Idx1 = 0;
};

// A file of a few seconds of the codec (MPEG-4, or Microsoft MPEG-4 V2 or V3) and MP3, a key
// frame each second, and its chunks.
Source Made(const std::string& codec) {
    {
        Source made;
        test::TempDir dir;
        const std::string path = dir.Path("source.avi");
        test::RunCommand("ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i "
                         "sine=frequency=440:sample_rate=44100 -t 6 -c:v " +
                         codec + " -g 25 -q:v 5 -c:a libmp3lame -b:a 128k " +
                         test::ShellQuote(path));
        made.File = test::ReadFileBytes(path);
        if (made.File.empty()) {
            return made;
        }
        const std::size_t movi = Find(made.File, "movi");
        made.Idx1 = Find(made.File, "idx1", movi);
        const std::uint32_t entries = Le32At(made.File, made.Idx1 + 4) / 16;
        for (std::uint32_t i = 0; i < entries; ++i) {
            const std::size_t entry = made.Idx1 + 8 + 16 * i;
            made.Chunks.push_back({movi + Le32At(made.File, entry + 8),
                                   Le32At(made.File, entry + 12), made.File[entry + 2] == 'd'});
        }
        return made;
    }
}

const Source& MadeByFfmpeg(const std::string& codec = "mpeg4") {
    static std::map<std::string, Source> made;
    if (made.count(codec) == 0) {
        made[codec] = Made(codec);
    }
    return made[codec];
}

std::string Output(const std::string& command) {
    return test::RunCommand(command + " 2>&1").Out;
}

// "K_" or "__" for each video packet, against "I" or other for each decoded frame.
std::string KeyFlags(const std::string& path) {
    std::string flags;
    const std::string out = Output("ffprobe -v error -select_streams v -show_entries packet=flags "
                                   "-of csv=p=0 " +
                                   test::ShellQuote(path));
    for (std::size_t at = 0; at < out.size(); at = out.find('\n', at) + 1) {
        flags += out[at] == 'K' ? 'K' : '-';
        if (out.find('\n', at) == std::string::npos) {
            break;
        }
    }
    return flags;
}

std::string IntraFrames(const std::string& path) {
    std::string types;
    const std::string out = Output("ffprobe -v error -select_streams v -show_frames -show_entries "
                                   "frame=pict_type -of csv=p=0 " +
                                   test::ShellQuote(path));
    for (const char c : out) {
        if (c == 'I' || c == 'P' || c == 'B' || c == 'S') {
            types += c == 'I' ? 'K' : '-';
        }
    }
    return types;
}

// The packets ffprobe reads of each stream (0 video, 1 audio) that end within the length.
std::pair<long, long> Packets(const std::string& path, std::size_t length) {
    std::pair<long, long> counts{0, 0};
    const std::string out = Output("ffprobe -v error -show_entries packet=stream_index,pos,size "
                                   "-of csv=p=0 " +
                                   test::ShellQuote(path));
    for (std::size_t at = 0; at < out.size();) {
        long stream = 0;
        long long size = 0;
        long long pos = 0;
        if (std::sscanf(out.c_str() + at, "%ld,%lld,%lld", &stream, &size, &pos) == 3 &&
            static_cast<std::size_t>(pos + size) <= length) {
            (stream == 0 ? counts.first : counts.second) += 1;
        }
        const std::size_t end = out.find('\n', at);
        at = end == std::string::npos ? out.size() : end + 1;
    }
    return counts;
}

class IndexRebuild : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::system("ffmpeg -version >/dev/null 2>&1") != 0 || MadeByFfmpeg().File.empty()) {
            GTEST_SKIP() << "ffmpeg with libmp3lame is not installed";
        }
        options_.Journal = JournalUse::Required;
        options_.JournalFile = dir_.Path("journal.jsonl");
        whole_ = dir_.Path("whole.avi");
        test::WriteFileBytes(whole_, MadeByFfmpeg().File);
    }
    std::string Cut(std::size_t length, const std::string& codec = "mpeg4") {
        const Bytes& whole = MadeByFfmpeg(codec).File;
        const std::string name = "cut.avi";
        const std::string path = dir_.Path(name);
        std::filesystem::remove(path);
        test::WriteFileBytes(path, Bytes(whole.begin(), whole.begin() + static_cast<long>(length)));
        return path;
    }
    test::TempDir dir_;
    JobOptions options_;
    std::string whole_;
};

// The cut points of a download, each with the chunks it leaves whole.
TEST_F(IndexRebuild, EveryCutPlaysAgainAndIsUndoneByteForByte) {
    for (const char* codec : {"mpeg4", "msmpeg4", "msmpeg4v2"}) {
        SCOPED_TRACE(codec);
        const Source& source = MadeByFfmpeg(codec);
        ASSERT_FALSE(source.File.empty());
        test::WriteFileBytes(whole_, source.File);
        const auto chunkAt = [&](bool video) {
            for (std::size_t i = source.Chunks.size() * 3 / 5; i < source.Chunks.size(); ++i) {
                if (source.Chunks[i].Video == video && source.Chunks[i].Size > 16) {
                    return source.Chunks[i];
                }
            }
            return source.Chunks.back();
        };
        const Chunk video = chunkAt(true);
        const Chunk audio = chunkAt(false);
        const struct {
            const char* Name;
            std::size_t Length;
            bool Unflagged = false; // AVIF_HASINDEX cleared in the main header
        } rows[] = {
            {"inside a video chunk", video.Pos + 8 + video.Size / 2},
            {"inside an audio chunk", audio.Pos + 8 + audio.Size / 2},
            {"at a chunk boundary", video.Pos},
            {"inside a chunk header", audio.Pos + 3},
            {"a whole movie list, idx1 cut", source.Idx1 + 8 + 16 * 10 + 5},
            {"a whole movie list, no idx1", source.Idx1},
            {"a whole file, its idx1 unflagged", source.File.size(), true},
        };
        for (const auto& row : rows) {
            SCOPED_TRACE(row.Name);
            const std::string path = Cut(row.Length, codec);
            if (row.Unflagged) {
                Bytes bytes = test::ReadFileBytes(path);
                bytes[Find(bytes, "avih") + 8 + 12] &= 0xEF;
                test::WriteFileBytes(path, bytes);
            }
            const Bytes cut = test::ReadFileBytes(path);
            const IndexResult result = RebuildIndex(path, options_);
            ASSERT_EQ(result.Reason, IndexReason::None) << IndexReasonName(result.Reason);
            const Bytes rebuilt = test::ReadFileBytes(path);

            // ffprobe reads of the rebuilt file every packet it reads of the whole one within the
            // cut.
            EXPECT_EQ(Packets(path, rebuilt.size()), Packets(whole_, row.Length));
            EXPECT_EQ(KeyFlags(path), IntraFrames(path));
            EXPECT_EQ(Output("ffmpeg -v error -i " + test::ShellQuote(path) + " -f null -"), "");
            EXPECT_EQ(Le32At(rebuilt, 4), rebuilt.size() - 8);
            // Within the cut file only the planned fields changed; the file grew by the index.
            std::size_t changed = 0;
            for (std::size_t i = 0; i < cut.size(); ++i) {
                if (cut[i] != rebuilt[i]) {
                    const bool planned = std::any_of(
                        result.Plan.Changes.begin(), result.Plan.Changes.end(), [&](const auto& c) {
                            return i >= static_cast<std::size_t>(c.Pos) &&
                                   i < static_cast<std::size_t>(c.Pos) + c.After.size();
                        });
                    changed += planned ? 0 : 1;
                }
            }
            EXPECT_EQ(changed, 0u);
            const std::size_t growth = rebuilt.size() - cut.size();
            EXPECT_GE(growth, 8 + 16u * result.Plan.Entries);
            EXPECT_LE(growth, 8 + 16u * result.Plan.Entries + 9);

            EXPECT_EQ(RebuildIndex(path, options_).Reason, IndexReason::Whole);
            EXPECT_TRUE(test::ReadFileBytes(path) == rebuilt);
            const IndexResult undone = UndoIndex(path, options_);
            EXPECT_TRUE(undone.Written);
            EXPECT_TRUE(test::ReadFileBytes(path) == cut);
            std::printf("%s, %s: %u entries (%u video, %u key), %lld bytes written\n", codec,
                        row.Name, result.Plan.Entries, result.Plan.VideoFrames,
                        result.Plan.KeyFrames, static_cast<long long>(result.BytesWritten));
        }
    }
}

// FFmpeg reserves OpenDML's header list as JUNK in a file of one RIFF; made a list, its dmlh
// total frames is set to the frames present like avih's.
TEST_F(IndexRebuild, ADmlhCountsTheFramesPresent) {
    Bytes whole = MadeByFfmpeg().File;
    const std::size_t odml = Find(whole, "odml");
    ASSERT_LT(odml, whole.size());
    std::memcpy(whole.data() + odml - 8, "LIST", 4);
    const std::string path = dir_.Path("dmlh.avi");
    test::WriteFileBytes(
        path, Bytes(whole.begin(), whole.begin() + static_cast<long>(MadeByFfmpeg().Idx1 - 999)));
    const IndexResult result = RebuildIndex(path, options_);
    ASSERT_EQ(result.Reason, IndexReason::None);
    const Bytes rebuilt = test::ReadFileBytes(path);
    EXPECT_EQ(Le32At(rebuilt, Find(rebuilt, "dmlh") + 8), result.Plan.VideoFrames);
    EXPECT_EQ(Output("ffmpeg -v error -i " + test::ShellQuote(path) + " -f null -"), "");
}

// Refused with the reason, and not a byte written.
TEST_F(IndexRebuild, RefusalsWriteNothing) {
    const Source& source = MadeByFfmpeg();
    const std::size_t movi = Find(source.File, "movi");
    Bytes openDml = source.File;
    const std::size_t junk = Find(openDml, "JUNK");
    std::memcpy(openDml.data() + junk, "indx", 4);
    const struct {
        const char* Name;
        std::size_t Length;
        IndexReason Reason;
        const Bytes* Replaced;
    } rows[] = {
        {"a whole file", source.File.size(), IndexReason::Whole, nullptr},
        {"cut inside its headers", movi - 20, IndexReason::NoMovieList, nullptr},
        {"no complete video chunk", movi + 4 + 5, IndexReason::NoVideoChunk, nullptr},
        {"a super index", source.Idx1, IndexReason::OpenDml, &openDml},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        std::string path = Cut(row.Length);
        if (row.Replaced != nullptr) {
            test::WriteFileBytes(path,
                                 Bytes(row.Replaced->begin(),
                                       row.Replaced->begin() + static_cast<long>(row.Length)));
        }
        const Bytes before = test::ReadFileBytes(path);
        EXPECT_EQ(RebuildIndex(path, options_).Reason, row.Reason);
        EXPECT_TRUE(test::ReadFileBytes(path) == before);
    }
    EXPECT_FALSE(std::filesystem::exists(options_.JournalFile));
}

// A write that fails is undone at once (a full disk, a short write); where even the undoing
// fails (the medium gone) the next run puts the file back. Another holder of the lock keeps the
// job out; a read-only file is refused.
TEST_F(IndexRebuild, FailedWritesLeaveTheCutFile) {
    const std::size_t length = MadeByFfmpeg().Idx1 - 3000;
    const std::string path = Cut(length);
    const Bytes cut = test::ReadFileBytes(path);
    // The journal's record is write 1, the index write 2, the fields after it.
    const struct {
        const char* Name;
        int ShortWrite;
        std::uint32_t Moves;
        int FailAfter;
        IndexReason Reason;
    } rows[] = {
        {"full disk", 2, 0, -1, IndexReason::WriteFailed},
        {"short write", 2, 5, -1, IndexReason::WriteFailed},
        {"a field not written", 4, 0, -1, IndexReason::WriteFailed},
        {"medium gone", 0, 0, 1, IndexReason::UndoFailed},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        {
            test::FaultyFileLayer files;
            files.ShortWrite = row.ShortWrite;
            files.ShortWriteMoves = row.Moves;
            if (row.FailAfter >= 0) {
                files.FailWritesTo = path;
                files.WritesBeforeFailing = row.FailAfter;
            }
            const IndexResult result = RebuildIndex(path, options_);
            EXPECT_EQ(result.Reason, row.Reason) << IndexReasonName(result.Reason);
        }
        EXPECT_EQ(SettleIndex(path, options_).Reason, IndexReason::None);
        EXPECT_TRUE(test::ReadFileBytes(path) == cut);
        EXPECT_FALSE(UndoIndex(path, options_).Written);
    }
    {
        TFileStream64 holder(path, kModeRead | kShareDenyNone);
        ASSERT_TRUE(os::Files().Lock(holder.Handle, 0));
        EXPECT_EQ(RebuildIndex(path, options_).Reason, IndexReason::LockBusy);
        os::Files().Unlock(holder.Handle);
    }
    if (geteuid() != 0) {
        chmod(path.c_str(), 0444);
        EXPECT_EQ(RebuildIndex(path, options_).Reason, IndexReason::CannotWrite);
        chmod(path.c_str(), 0644);
    }
    EXPECT_TRUE(test::ReadFileBytes(path) == cut);
}

// A child rebuilds (then undoes) through a layer that kills it at its N-th write, for every N
// until the job completes; the next run settles the file to the cut one or the rebuilt one, and
// the undoing then gives back the cut file.
TEST_F(IndexRebuild, AKillAtEveryWriteIsSettled) {
    const std::string path = Cut(MadeByFfmpeg().Idx1 - 3001);
    const Bytes cut = test::ReadFileBytes(path);
    ASSERT_EQ(RebuildIndex(path, options_).Reason, IndexReason::None);
    const Bytes rebuilt = test::ReadFileBytes(path);
    for (const bool undo : {false, true}) {
        int completedAt = 0;
        for (int n = 1; completedAt == 0 && n < 20; ++n) {
            SCOPED_TRACE((undo ? "undo killed at write " : "rebuild killed at write ") +
                         std::to_string(n));
            test::WriteFileBytes(path, undo ? rebuilt : cut);
            options_.JournalFile =
                dir_.Path("journal-" + std::to_string(undo) + "-" + std::to_string(n) + ".jsonl");
            if (undo) {
                // The record of the rebuild the undoing undoes.
                test::WriteFileBytes(path, cut);
                ASSERT_EQ(RebuildIndex(path, options_).Reason, IndexReason::None);
            }
            const pid_t child = fork();
            if (child == 0) {
                test::FaultyFileLayer files;
                files.KillingWrite = n;
                const IndexResult result =
                    undo ? UndoIndex(path, options_) : RebuildIndex(path, options_);
                std::_Exit(result.Reason == IndexReason::None ? 0 : 1);
            }
            int status = 0;
            waitpid(child, &status, 0);
            ASSERT_TRUE(WIFEXITED(status));
            if (WEXITSTATUS(status) != test::FaultyFileLayer::kKilledStatus) {
                EXPECT_EQ(WEXITSTATUS(status), 0);
                completedAt = n;
            }
            const IndexResult settled = SettleIndex(path, options_);
            EXPECT_EQ(settled.Reason, IndexReason::None);
            const Bytes left = test::ReadFileBytes(path);
            EXPECT_TRUE(left == cut || left == rebuilt);
            UndoIndex(path, options_);
            EXPECT_TRUE(test::ReadFileBytes(path) == cut);
        }
        EXPECT_GT(completedAt, 3);
        std::printf("%s: killed at each of %d writes, settled every time\n",
                    undo ? "undo" : "rebuild", completedAt - 1);
    }
}

} // namespace
} // namespace vidtag

namespace vidtag {
namespace {

// A file retagged, rebuilt and retagged again: one restore undoes all three, in reverse order,
// to the cut file's bytes. Readers of the codes' records alone take the index record for a
// damaged one, which nothing acts on.
TEST_F(IndexRebuild, RetagAndRebuildComeUndoneInReverseOrder) {
    const std::string made = dir_.Path("xvid.avi");
    test::RunCommand("ffmpeg -v error -f lavfi -i testsrc=size=176x144:rate=25 -t 3 -c:v mpeg4 "
                     "-vtag XVID -g 25 " +
                     test::ShellQuote(made));
    Bytes bytes = test::ReadFileBytes(made);
    ASSERT_FALSE(bytes.empty());
    bytes.resize(bytes.size() * 2 / 3);
    const std::string path = dir_.Path("victim.avi");
    test::WriteFileBytes(path, bytes);
    const JobResult analysed = Analyse(path, options_);
    const auto targets = OfferedTargets(analysed.FromKind).View();
    ASSERT_GE(targets.size(), 2u);
    EXPECT_TRUE(Retag(path, targets[0], options_).Converted);
    ASSERT_EQ(RebuildIndex(path, options_).Reason, IndexReason::None);
    EXPECT_TRUE(Retag(path, targets[1], options_).Converted);
    EXPECT_EQ(Output("ffmpeg -v error -i " + test::ShellQuote(path) + " -f null -"), "");

    const JobResult restored = Restore(path, options_);
    EXPECT_TRUE(restored.IndexUndo.Written);
    EXPECT_EQ(restored.Reason, Refusal::None) << RefusalName(restored.Reason);
    EXPECT_TRUE(test::ReadFileBytes(path) == bytes);

    std::string line;
    std::FILE* journal = std::fopen(options_.JournalFile.c_str(), "r");
    ASSERT_NE(journal, nullptr);
    for (char text[4096]; std::fgets(text, sizeof text, journal) != nullptr;) {
        if (std::strstr(text, "\"kind\":\"index\"") != nullptr && line.empty()) {
            line.assign(text, std::strlen(text) - 1);
        }
    }
    std::fclose(journal);
    const auto parsed = JournalLine::Parse(line);
    ASSERT_TRUE(parsed.has_value());
    JournalEntry asCodes;
    EXPECT_NE(RecordDamage(*parsed, asCodes), "");
}

} // namespace
} // namespace vidtag
