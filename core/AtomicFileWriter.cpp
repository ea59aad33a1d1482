#include "AtomicFileWriter.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace Zelvo {

namespace {

// Distinguishes the temporary files of one process (several writers may be open at once).
std::atomic<unsigned> g_temporaryCount{0};

// A name beside the target that no one else uses: hidden, with the process and a count.
std::string TemporaryName(const std::string& target)
{
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return folder + "." + name + ".tmp" + std::to_string(static_cast<long>(getpid())) + "-" +
           std::to_string(g_temporaryCount++);
}

// So that the rename itself is on the disk too; a folder that cannot be synced changes nothing.
void SyncFolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return;
    fsync(descriptor);
    close(descriptor);
}

// A write past the file-size limit raises SIGXFSZ, whose default ends the process: the window
// would vanish with the user's session. Ignored, the write fails with EFBIG and is reported
// like any other. A handler the program set itself is left alone.
void LetFileSizeLimitFailWrites()
{
    struct sigaction current {};
    if (sigaction(SIGXFSZ, nullptr, &current) != 0) return;
    if ((current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL) return;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);
}

// A path component of digits alone as a number; -1 for anything else.
long NumberIn(const std::string& text)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stol(text);
}

// A link to an open descriptor (/proc/<pid>/fd/N, or a thread's /proc/<pid>/task/<tid>/fd/N)
// that a path's links lead through: /dev/stdout leads to /proc/self/fd/1.
struct DescriptorLink {
    bool found = false;
    long holder = -1;  // the process holding the descriptor
    int number = -1;   // the descriptor, in that process
};

DescriptorLink FindDescriptorLink(std::string path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    for (int hop = 0; hop < 40 && fs::is_symlink(fs::symlink_status(path, error)); ++hop) {
        const fs::path link(path);
        const fs::path folder = fs::canonical(link.has_parent_path() ? link.parent_path() : ".", error);
        if (error) return {};
        if (folder.filename() == "fd") {
            fs::path process = folder.parent_path();
            if (process.parent_path().filename() == "task") process = process.parent_path().parent_path();
            if (process.parent_path() == "/proc")
                return {true, NumberIn(process.filename()), static_cast<int>(NumberIn(link.filename()))};
        }
        const fs::path target = fs::read_symlink(link, error);
        if (error) return {};
        path = (folder / target).string();  // an absolute target replaces the folder
    }
    return {};
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(const std::string& path) : m_target(path)
{
    namespace fs = std::filesystem;
    LetFileSizeLimitFailWrites();
    if (path.empty() || path.back() == '/') {
        m_fail(EISDIR);
        return;
    }
    struct stat old {};
    const bool exists = stat(path.c_str(), &old) == 0;
    const DescriptorLink link = exists ? FindDescriptorLink(path) : DescriptorLink{};
    const bool ownDescriptor = link.found && link.holder == static_cast<long>(getpid());
    // Lines the process printed before the results, still in its standard streams' buffers, must
    // not arrive after them in a descriptor the streams write into as well.
    if (ownDescriptor) {
        std::fflush(stdout);
        std::fflush(stderr);
    }
    // A pipe or a device is written where it is, as an ordinary open does: renaming a new file
    // over it would take its place and leave the reader with nothing.
    if (exists && !S_ISREG(old.st_mode)) {
        m_inPlace = true;
        m_openStream(open(path.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC));
        return;
    }
    // A file behind one of our own descriptors (> file, >> file) is written through a copy of that
    // descriptor: from its offset, or at the end when it appends, so what was written through it
    // stays and what follows comes after the results. Opened again, it would be truncated and
    // written from 0 while the descriptor goes on at its own offset. Another process's descriptor
    // leads to the file it names, which is replaced like any other.
    if (ownDescriptor) {
        m_inPlace = true;
        m_openStream(fcntl(link.number, F_DUPFD_CLOEXEC, 0));
        return;
    }
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(path, error))) {
        const fs::path resolved = fs::canonical(path, error);
        if (!error) m_target = resolved.string();
    }
    // Renaming over a file does not ask the file, only its folder: ask the file as writing would.
    if (exists && faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) != 0) {
        m_fail(errno);
        return;
    }
    int descriptor = -1;
    for (int attempt = 0; attempt < 100 && descriptor < 0; ++attempt) {
        m_temporary = TemporaryName(m_target);
        descriptor = open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor < 0 && errno != EEXIST) break;
    }
    if (descriptor < 0) {
        const int cause = errno;
        m_temporary.clear();
        m_fail(cause);
        return;
    }
    if (exists) fchmod(descriptor, old.st_mode & 07777);
    m_openStream(descriptor);
}

void AtomicFileWriter::m_openStream(int descriptor)
{
    if (descriptor < 0) {
        m_fail(errno);
        return;
    }
    m_descriptor = descriptor;
    // The stream writes through us, so a failed write keeps its errno for Reason() whoever
    // writes into File().
    cookie_io_functions_t functions {};
    functions.write = &AtomicFileWriter::m_writeToDescriptor;
    m_file = fopencookie(this, "w", functions);
    if (!m_file) {
        m_fail(errno);
        return;
    }
    // Given no buffer of its own, the stream keeps its default 8 KB whatever size is asked for.
    m_buffer.reset(new char[kBufferBytes]);
    if (std::setvbuf(m_file, m_buffer.get(), _IOFBF, kBufferBytes) != 0) m_buffer.reset();
}

AtomicFileWriter::~AtomicFileWriter()
{
    Discard();
}

ssize_t AtomicFileWriter::m_writeToDescriptor(void* self, const char* data, size_t bytes)
{
    AtomicFileWriter& writer = *static_cast<AtomicFileWriter*>(self);
    // A pipe whose reader has gone raises SIGPIPE, whose default ends the process: held back
    // while we write, the write fails with EPIPE instead, and a signal it raised is taken back.
    sigset_t pipeSignal, previous, pending;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    const bool blocked = writer.m_inPlace && pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous) == 0;
    const bool takeBack = blocked && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 0;
    size_t done = 0;
    while (done < bytes) {
        const ssize_t written = ::write(writer.m_descriptor, data + done, bytes - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (writer.m_streamError == 0) writer.m_streamError = written < 0 ? errno : EIO;
            break;
        }
        done += static_cast<size_t>(written);
    }
    if (takeBack && done < bytes && writer.m_streamError == EPIPE) {
        const timespec now {};
        sigtimedwait(&pipeSignal, nullptr, &now);
    }
    if (blocked) pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    // The stream takes a count short of bytes as the error; a negative one it would take as a
    // huge count, and read on past the caller's data.
    return static_cast<ssize_t>(done);
}

bool AtomicFileWriter::Write(const void* data, size_t bytes)
{
    if (!m_file) return false;
    if (bytes == 0 || std::fwrite(data, 1, bytes, m_file) == bytes) return true;
    return m_fail(m_streamError);
}

bool AtomicFileWriter::Prepare()
{
    if (m_prepared) return true;
    if (!m_file) return false;
    if (std::fflush(m_file) != 0 || std::ferror(m_file)) return m_fail(m_streamError);
    // Only what reached the disk may replace the old file. A pipe or a device has no disk.
    if (!m_inPlace && fsync(m_descriptor) != 0) return m_fail(errno);
    std::FILE* file = m_file;
    m_file = nullptr;
    std::fclose(file);  // the stream only buffers; the descriptor is closed here
    const int descriptor = m_descriptor;
    m_descriptor = -1;
    if (close(descriptor) != 0) return m_fail(errno);
    m_prepared = true;
    return true;
}

bool AtomicFileWriter::Commit()
{
    if (!Prepare()) return false;
    if (m_inPlace) {
        m_committed = true;
        return true;
    }
    if (std::rename(m_temporary.c_str(), m_target.c_str()) != 0) return m_fail(errno);
    m_temporary.clear();
    m_committed = true;
    SyncFolderOf(m_target);
    return true;
}

void AtomicFileWriter::Discard()
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (m_descriptor >= 0) {
        close(m_descriptor);
        m_descriptor = -1;
    }
    if (!m_temporary.empty()) {
        unlink(m_temporary.c_str());
        m_temporary.clear();
    }
    m_prepared = false;
}

std::string AtomicFileWriter::Reason() const
{
    return m_error ? std::generic_category().message(m_error) : std::string();
}

bool AtomicFileWriter::m_fail(int error)
{
    m_error = error ? error : EIO;
    Discard();
    return false;
}

bool AtomicFileWriter::WriteWholeFile(const std::string& path, const void* data, size_t bytes, std::string* reason)
{
    AtomicFileWriter writer(path);
    const bool written = writer.Write(data, bytes) && writer.Commit();
    if (!written && reason) *reason = writer.Reason();
    return written;
}

}  // namespace Zelvo
