#pragma once

#include <cstdint>
#include <string>

namespace vidtag::os {

// The operating system's own handle type: a HANDLE on Windows, a descriptor elsewhere.
#ifdef _WIN32
using FileHandle = void*;
#else
using FileHandle = int;
#endif

FileHandle InvalidHandle();

enum class Access { Read, Write, ReadWrite };

// What other openers may do while the file is open. ReadWriteDelete also lets them rename a file
// over it.
enum class Share { None, Read, Write, ReadWrite, ReadWriteDelete };

// Attributes as the platform stores them: the Win32 attribute word, or the POSIX mode bits.
using Attributes = std::uint32_t;

// A modification time in the platform's own unit: 100 ns since 1601 on Windows, nanoseconds
// since 1970 elsewhere.
using FileTime = std::int64_t;

// Which file a handle is open on, whatever name it goes by: device and inode, or volume serial
// number and file index.
struct FileIdentity {
    std::uint64_t Volume = 0;
    std::uint64_t Index = 0;
    std::int64_t Size = 0;
    // Which life of the index this is: an inode number is handed to the next new file once its
    // file is deleted, its generation is not. 0 where the system tells none (NTFS puts its
    // sequence number into the index itself), and 0 matches any.
    std::uint64_t Generation = 0;

    bool SameFile(const FileIdentity& other) const {
        return Volume == other.Volume && Index == other.Index &&
               (Generation == 0 || other.Generation == 0 || Generation == other.Generation);
    }
};

// The few file calls the streams and the engine make. Every call goes through the current
// layer, so that tests can put a layer in front of the native one that counts calls or makes
// them fail; the product only ever uses the native layer.
class FileLayer {
  public:
    virtual ~FileLayer() = default;

    // Opens an existing file, never creating one; InvalidHandle() on failure. A folder never
    // opens.
    virtual FileHandle Open(const char* name, Access access, Share share) = 0;
    // Creates or truncates a file for reading and writing, shared with nobody.
    virtual FileHandle Create(const char* name) = 0;
    // One system call each; the number of bytes moved, 0 on failure.
    virtual std::uint32_t Read(FileHandle handle, void* buffer, std::uint32_t count) = 0;
    virtual std::uint32_t Write(FileHandle handle, const void* buffer, std::uint32_t count) = 0;
    // origin 0: from the beginning, 1: from the current position, 2: from the end. The new
    // absolute position, or -1 when the system refused the move.
    virtual std::int64_t Seek(FileHandle handle, std::int64_t offset, int origin) = 0;
    // Ends the file at the current position.
    virtual bool SetEndOfFile(FileHandle handle) = 0;
    // Waits until what was written is on the disk.
    virtual bool Flush(FileHandle handle) = 0;
    virtual void Close(FileHandle handle) = 0;

    virtual bool GetAttributes(const char* name, Attributes& attributes) = 0;
    virtual bool SetAttributes(const char* name, Attributes attributes) = 0;
    // Whether the attributes forbid writing, and the same attributes with writing allowed.
    virtual bool IsReadOnly(Attributes attributes) = 0;
    virtual Attributes WithoutReadOnly(Attributes attributes) = 0;

    // The calls below pass on to the native layer unless a layer overrides them.

    // Opens a file for appending, creating it when missing; each Write lands whole at the end,
    // however many processes append at once.
    virtual FileHandle OpenAppend(const char* name);
    // The lock every Vidtag conversion takes on a file, waiting up to timeoutMs for another
    // holder. It keeps other conversions out and nobody else: players go on reading. On failure
    // the system's reason is left for LastSystemError(); see IsLockBusy.
    virtual bool Lock(FileHandle handle, int timeoutMs);
    virtual void Unlock(FileHandle handle);
    virtual bool Identify(FileHandle handle, FileIdentity& identity);
    // Through the handle, so that a file whose read-only attribute is back can keep its time.
    virtual bool GetModifiedTime(FileHandle handle, FileTime& time);
    virtual bool SetModifiedTime(FileHandle handle, FileTime time);
    // The attributes to put back after writing: Windows keeps the archive attribute set, which
    // backup programs read as "changed since the last backup".
    virtual Attributes AfterWriting(Attributes attributes);
    // Gives the file the new name in one step, replacing any file of that name, even one that
    // others hold open (with ReadWriteDelete sharing, on Windows).
    virtual bool Rename(const char* from, const char* to);
    // Gives the open file the owner and group of the named one, so that a file written in its
    // place by another user (root) still belongs to the first one's owner. False, with the
    // system's reason in LastSystemError(), when the system refuses. Windows: new files take the
    // folder's permissions, and nothing is done.
    virtual bool TakeOwnerOf(FileHandle handle, const char* model);
};

// Whether a failed Lock's reason is another holder that did not let go in time.
bool IsLockBusy(int systemError);
// Whether the file system refused the lock only because the handle is not open for writing: NFS
// emulates flock with a whole-file POSIX lock, and an exclusive one needs a writing descriptor.
bool LockNeedsWriteAccess(int systemError);

// Why the last failed call of this thread failed, in the system's words.
std::string LastErrorText();
// Forgets that reason, so that a call that fails without giving one is told from one that does.
void ClearLastError();
// LastErrorText, or the fallback when the failed call gave no reason.
std::string LastErrorTextOr(const char* fallback);

// An environment variable as UTF-8; empty when it is not set.
std::string EnvironmentVariable(const char* name);

// The layer every caller uses.
FileLayer& Files();

// The platform's own layer.
FileLayer& NativeFiles();

// Puts another layer in front; nullptr restores the native one. Returns the previous layer.
// For tests only.
FileLayer* ReplaceFileLayer(FileLayer* layer);

} // namespace vidtag::os
