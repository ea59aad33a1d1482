#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <sys/types.h>

namespace Zelvo {

// Replaces one file whole or not at all. Everything goes into a temporary file in the file's
// own folder; Commit flushes that to the disk and renames it over the file. Until then the file
// keeps its bytes, and a writer that is not committed removes its temporary file, nothing else.
//
// A path that is a symbolic link is followed: the file it leads to is replaced. The new file
// keeps the old one's permissions (a new one gets 0666 less the umask); a file we may not write
// to is not replaced either.
//
// What is not a regular file (a pipe, a device) is never replaced: it is opened and written where
// it is, as an ordinary open for writing does, and Commit only flushes. A regular file reached
// through a link to one of this process's own descriptors (/dev/stdout under > or >>) is written
// through that descriptor, from its offset or at the end when it appends, after what the
// standard streams still held: never opened again, never truncated. A link to another process's
// descriptor leads to the file it names, which is replaced. A pipe whose reader has gone fails
// the write ("Broken pipe") instead of ending the process.
//
// A write past the process's file-size limit fails like any other ("File too large"): making a
// writer turns off the signal that would otherwise end the process there, unless the program
// handles that signal itself.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(const std::string& path);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // The temporary file to write into; null when it could not be created. A write through it
    // that fails keeps its reason for Reason().
    std::FILE* File() { return m_file; }
    bool Write(const void* data, size_t bytes);
    // Flushes the temporary file to the disk and closes it; false when this or any write
    // failed (the temporary file is gone then). Two files that must agree are both prepared
    // before either is committed.
    bool Prepare();
    // Prepare (unless done), then the rename; false leaves the file as it was.
    bool Commit();
    // Removes the temporary file; the file stays as it was.
    void Discard();
    bool IsCommitted() const { return m_committed; }
    // Why the last step failed, in words ("File too large"); empty before any failure.
    std::string Reason() const;

    // The bytes replace the file at path; false (reason in reason, when given) leaves it as it was.
    static bool WriteWholeFile(const std::string& path, const void* data, size_t bytes,
                               std::string* reason = nullptr);

private:
    static ssize_t m_writeToDescriptor(void* self, const char* data, size_t bytes);
    void m_openStream(int descriptor);
    bool m_fail(int error);

    static constexpr size_t kBufferBytes = size_t(1) << 16;  // fewer writes of a description

    std::string m_target;     // the file that is replaced, a link followed
    std::string m_temporary;  // beside it
    bool m_inPlace = false;   // a pipe, a device or a descriptor of ours, written where it is
    int m_descriptor = -1;    // the temporary file's (or the pipe's, or our copy), owned until the stream is closed
    std::FILE* m_file = nullptr;
    std::unique_ptr<char[]> m_buffer;  // the stream's; outlives it
    bool m_prepared = false;
    bool m_committed = false;
    int m_error = 0;
    int m_streamError = 0;  // the first failed write's errno
};

}  // namespace Zelvo
