// What the data set's files look like after a write that fails, a store whose file would be
// another file of the data set, a Save As after a deletion, and a deletion from a volume.
#include "AtomicFileWriter.h"
#include "ClusteringResult.h"
#include "DataProfile.h"
#include "EmbeddingResult.h"
#include "HDfileIO.h"
#include "HDpointSet.h"
#include "Log.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/sysmacros.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <utility>

using Zelvo::ClusteringResult;
using Zelvo::EmbeddingResult;
using Zelvo::HDfileIO;
using Zelvo::HDpointSet;
using TestSupport::CaptureStdout;
using TestSupport::ReadFile;
using TestSupport::TempDir;
namespace fs = std::filesystem;

namespace {

// Every entry of a folder and below: file name -> bytes, or the target of a link.
using Folder = std::map<std::string, std::string>;
Folder Snapshot(const std::string& dir)
{
    Folder folder;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string name = fs::relative(entry.path(), dir).string();
        folder[name] = entry.is_symlink() ? "-> " + fs::read_symlink(entry.path()).string()
                       : entry.is_directory() ? "<folder>"
                                              : ReadFile(entry.path().string());
    }
    return folder;
}

// The entries that differ between two snapshots: changed, added or gone.
std::vector<std::string> Changed(const Folder& before, const Folder& after)
{
    std::vector<std::string> names;
    for (const auto& [name, content] : before) {
        const auto now = after.find(name);
        if (now == after.end() || now->second != content) names.push_back(name);
    }
    for (const auto& entry : after)
        if (before.count(entry.first) == 0) names.push_back(entry.first + " (new)");
    return names;
}
using Names = std::vector<std::string>;

// The lines fn writes through Log; standard output goes to /dev/null meanwhile, which no
// file-size limit holds back.
std::string Lines(const std::function<void()>& fn)
{
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
    std::string text;
    {
        Zelvo::Log::Collector collector;
        fn();
        for (const std::string& line : collector.Lines()) text += line + "\n";
    }
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    return text;
}

using TestSupport::ReadOnly;

// rows x 3 values, value(r, c) = r * 10 + c + shift (exact in float).
std::string Table(int rows, float shift = 0)
{
    std::ostringstream csv;
    csv << "a,b,c\n";
    for (int r = 0; r < rows; ++r) csv << r * 10 + shift << ',' << r * 10 + 1 + shift << ',' << r * 10 + 2 + shift << '\n';
    return csv.str();
}

std::vector<float> Values(const std::vector<int>& rows)
{
    std::vector<float> values;
    for (int r : rows)
        for (int c = 0; c < 3; ++c) values.push_back(static_cast<float>(r * 10 + c));
    return values;
}

std::unique_ptr<ClusteringResult> Halves(int points, int offset)
{
    std::vector<std::vector<int>> members(2);
    for (int i = 0; i < points; ++i) members[size_t((i + offset) % 2)].push_back(i);
    auto result = std::make_unique<ClusteringResult>();
    result->SetClusteringIndexArray(members);
    return result;
}

// <folder><name>.xml and .bin of `rows` points, with the clustering "km" and the embedding "e"
// stored and listed.
void MakeDataSet(const std::string& folder, const std::string& name, int rows)
{
    HDfileIO io;
    TestSupport::WriteFile(folder + name + ".csv", Table(rows));
    std::vector<float> positions(size_t(rows) * 2);
    for (size_t k = 0; k < positions.size(); ++k) positions[k] = static_cast<float>(k);
    EmbeddingResult embedding(positions.data(), 2, rows, nullptr);
    CaptureStdout([&] {
        ASSERT_TRUE(io.CreateNewEmptyHDdataSet((folder + name + ".xml").c_str()));
        ASSERT_TRUE(io.ImportDataFromCSV((folder + name + ".csv").c_str()));
        ASSERT_TRUE(io.WriteClusteringResult(*Halves(rows, 0), "km"));
        ASSERT_TRUE(io.WriteEmbeddingResult(embedding, "e"));
        ASSERT_TRUE(io.SaveHDdataSet());
    });
    std::remove((folder + name + ".csv").c_str());
}

// What the file object says of its data set, in one comparable text.
std::string State(const HDfileIO& io)
{
    std::ostringstream text;
    text << io.GetFullPath() << ' ' << io.IsNewDataSet() << ' ' << io.GetPointCount() << ' ' << io.GetDimension()
         << ' ' << io.GetSpatialX() << 'x' << io.GetSpatialY() << 'x' << io.GetSpatialZ() << " points "
         << io.GetBinaryDataFileName() << " volume " << io.GetBinaryVolLabelFileName();
    for (size_t i = 0; i < io.GetDimensionLabels().size(); ++i)
        text << ' ' << io.GetDimensionLabels()[i] << '='
             << (i < io.GetDimensionMask().size() && io.GetDimensionMask()[i]);
    for (const auto& [identifier, file] : io.GetClusteringResults()) text << ' ' << identifier << "->" << file;
    return text.str();
}

bool Open(HDfileIO& io, const std::string& path)
{
    bool opened = false;
    CaptureStdout([&] { opened = io.OpenHDdataSet(path.c_str()); });
    return opened;
}

}  // namespace

// Every file the program rewrites is replaced whole or not at all: a write that fails (disk
// full, a read-only folder or file) leaves every file of the folder as it was, and no
// temporary file behind.
TEST(DataSetFiles, AFailedWriteKeepsEveryOldFile)
{
    const int rows = 200;
    using Operation = std::function<bool(HDfileIO&, const std::string& folder)>;
    const struct {
        const char* what;
        std::vector<std::string> files;  // what it rewrites
        Operation operation;
    } writes[] = {
        {"the point file and description after a deletion", {"d.bin", "d.xml"},
         [](HDfileIO& io, const std::string&) {
             HDpointSet<float> points;
             std::vector<int> deleted = {0, 5};
             return io.ReadHDPointSet(points) && points.DeleteHDpoints(deleted) && io.WriteHDpointSetProperty(points);
         }},
        {"the description", {"d.xml"},
         [](HDfileIO& io, const std::string&) {
             io.SetDimensionProperties({true, false, true}, {"a", "b", "c"});
             return io.SaveHDdataSet();
         }},
        {"a stored clustering", {"d_km.bin"},
         [](HDfileIO& io, const std::string&) { return io.WriteClusteringResult(*Halves(rows, 1), "km"); }},
        {"a stored embedding", {"d_embed_e.bin"},
         [](HDfileIO& io, const std::string&) {
             std::vector<float> positions(size_t(rows) * 2, 3.0f);
             positions[0] = 1.0f;
             EmbeddingResult embedding(positions.data(), 2, rows, nullptr);
             return io.WriteEmbeddingResult(embedding, "e");
         }},
        {"the point file and description of a CSV import", {"d.bin", "d.xml"},
         [](HDfileIO& io, const std::string& folder) {
             return io.CreateNewEmptyHDdataSet((folder + "d.xml").c_str()) &&
                    io.ImportDataFromCSV((folder + "sub/other.csv").c_str());
         }},
    };
    // A read-only description (or result) also fails the write of a point file that must agree with it.
    const char* const failures[] = {"a file-size limit", "a read-only folder", "a read-only last file"};
    for (const auto& write : writes) {
        for (const char* failure : failures) {
            SCOPED_TRACE(std::string(write.what) + " under " + failure);
            TempDir dir;
            MakeDataSet(dir.path(), "d", rows);
            ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0700), 0);
            TestSupport::WriteFile(dir.file("sub/other.csv"), Table(rows, 0.5f));
            HDfileIO io;
            ASSERT_TRUE(Open(io, dir.file("d.xml")));
            const Folder before = Snapshot(dir.path());
            std::vector<std::string> files;
            for (const std::string& file : write.files) files.push_back(dir.file(file));

            bool written = true;
            std::string out;
            if (failure == failures[0]) {
                out = Lines([&] {
                    TestSupport::FileSizeLimit full(64);  // every file here is larger
                    written = write.operation(io, dir.path());
                });
            } else {
                out = Lines([&] {
                    ReadOnly locked({failure == failures[1] ? dir.path() : files.back()});
                    written = write.operation(io, dir.path());
                });
            }
            EXPECT_FALSE(written);
            EXPECT_NE(out.find("Error"), std::string::npos) << out;
            EXPECT_EQ(Changed(before, Snapshot(dir.path())), Names{});
            const auto entry = io.GetClusteringResults().find("km");
            if (entry != io.GetClusteringResults().end()) {
                EXPECT_EQ(entry->second, "d_km.bin");
            }

            // Without the failure the same write replaces each of those files.
            HDfileIO again;
            ASSERT_TRUE(Open(again, dir.file("d.xml")));
            CaptureStdout([&] { EXPECT_TRUE(write.operation(again, dir.path())); });
            EXPECT_EQ(Changed(before, Snapshot(dir.path())), write.files);
        }
    }
}

// A CSV import whose description can't be written names the reason and leaves the data set as it
// was, in memory and on disk, also when New was made over another data set with as many values.
// A Save after it names no point file that was never written, and with room the import succeeds.
TEST(DataSetFiles, AFailedImportLeavesTheDataSetAsItWas)
{
    for (const bool overAnother : {false, true}) {
        SCOPED_TRACE(overAnother ? "New over a data set of 200 x 3" : "New in an empty folder");
        TempDir dir;
        if (overAnother) MakeDataSet(dir.path(), "d", 200);
        // 2 x 300 values: a point file of 2,400 bytes and a description far beyond 4 KB.
        TestSupport::WriteFile(dir.file("wide.csv"), TestSupport::WideTable(2, 300));
        HDfileIO io;
        ASSERT_TRUE(io.CreateNewEmptyHDdataSet(dir.file("d.xml").c_str()));
        const std::string created = State(io);
        const Folder before = Snapshot(dir.path());
        bool imported = true;
        const std::string out = Lines([&] {
            TestSupport::FileSizeLimit full(4096);
            imported = io.ImportDataFromCSV(dir.file("wide.csv").c_str());
        });
        EXPECT_FALSE(imported);
        EXPECT_NE(out.find("Error in saving: " + dir.file("d.xml") + " file (File too large)"), std::string::npos)
            << out;
        EXPECT_EQ(State(io), created);
        EXPECT_EQ(Changed(before, Snapshot(dir.path())), Names{});

        Lines([&] { EXPECT_TRUE(io.SaveHDdataSet()); });
        HDfileIO saved;
        ASSERT_TRUE(Open(saved, dir.file("d.xml")));
        EXPECT_EQ(saved.GetPointCount(), 0);
        EXPECT_EQ(saved.GetBinaryDataFileName(), "");

        Lines([&] { EXPECT_TRUE(io.ImportDataFromCSV(dir.file("wide.csv").c_str())); });
        HDpointSet<float> points;
        ASSERT_TRUE(Open(saved, dir.file("d.xml")));
        ASSERT_TRUE(saved.ReadHDPointSet(points));
        EXPECT_EQ(points.GetPointCount(), 2);
        EXPECT_EQ(points.m_values.back(), 599.0f);
    }
}

// The writer's temporary file lies beside the file it replaces, so a working folder that can't be
// written changes nothing.
TEST(DataSetFiles, TheTemporaryFileLiesBesideItsTarget)
{
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("work").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(dir.file("data").c_str(), 0700), 0);
    const std::string target = dir.file("data/f.bin");
    TestSupport::WriteFile(target, "old");
    {
        TestSupport::InFolder inWork(dir.file("work"));
        ReadOnly locked({dir.file("work")});
        std::string reason;
        EXPECT_TRUE(Zelvo::AtomicFileWriter::WriteWholeFile(target, "new", 3, &reason)) << reason;
    }
    EXPECT_EQ(ReadFile(target), "new");
}

// A write that fails names its reason, reads nothing past the caller's data and keeps the old file,
// with no temporary file left: 1 MB whose last byte lies before a page that can't be read, written
// in a child process where the disk is full (every write fails), the file-size limit is 0, or the
// flush to the disk fails (fsync). The stream's buffer is 64 KB: 60 KB written in small pieces
// under that limit fail only when they are flushed.
TEST(DataSetFiles, AFailedWriteNamesItsReasonReadsNoFurtherAndKeepsTheOldFile)
{
    const struct {
        const char* what;
        long call;  // the system call that fails with error; 0: a file-size limit of 0 fails the writes
        int error;
        size_t piece, pieces;
    } rows[] = {
        {"a full disk", __NR_write, ENOSPC, 1 << 20, 1},
        {"a file-size limit of 0", 0, EFBIG, 1 << 20, 1},
        {"a failed flush to the disk", __NR_fsync, EIO, 1 << 20, 1},
        {"60 KB in small pieces under a file-size limit of 0", 0, EFBIG, 100, 600},
    };
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        const std::string target = dir.file("f.bin");
        TestSupport::WriteFile(target, "old");
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            const size_t bytes = row.piece * row.pieces, span = (bytes + page - 1) / page * page;
            char* start = static_cast<char*>(mmap(nullptr, span + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
            if (start == MAP_FAILED || mprotect(start + span, page, PROT_NONE) != 0) _exit(2);
            char* data = start + span - bytes;
            std::memset(data, 'x', bytes);
            Zelvo::AtomicFileWriter writer(target);
            sock_filter filter[] = {
                BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(row.call), 0, 1),
                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<unsigned>(row.error)),
                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            };
            const sock_fprog program {static_cast<unsigned short>(std::size(filter)), filter};
            const rlimit none {0, RLIM_INFINITY};
            const bool failing = row.call ? prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
                                                prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0
                                          : setrlimit(RLIMIT_FSIZE, &none) == 0;
            if (!writer.File() || !failing) _exit(2);
            bool buffered = true;
            for (size_t p = 0; p < row.pieces; ++p) buffered = writer.Write(data + p * row.piece, row.piece) && buffered;
            if (row.pieces > 1 && !buffered) _exit(3);  // 60 KB stay in the 64 KB buffer until the flush
            _exit(!writer.Commit() && writer.Reason() == std::strerror(row.error) ? 0 : 1);
        }
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        EXPECT_EQ(Snapshot(dir.path()), (Folder{{"f.bin", "old"}}));
    }
}

// What is not a regular file is written where it is and stays what it was: a FIFO its reader reads
// from, a pipe reached through a link to its descriptor, a device; a pipe whose reader has gone and
// a folder fail with their reason, and the process goes on. A file behind a link to a descriptor of
// ours gets the bytes where that descriptor writes next, after what the file held; behind another
// process's descriptor it is replaced, and the holder's open file keeps what it held.
TEST(DataSetFiles, PipesDevicesAndDescriptorsAreWrittenInPlace)
{
    int readEnd = -1, writeEnd = -1;  // what a row reads back from, and the end it writes through
    pid_t holder = -1;                // another process holding the file open
    const auto linkTo = [](const std::string& path, int descriptor, const std::string& owner = "self") {
        return symlink(("/proc/" + owner + "/fd/" + std::to_string(descriptor)).c_str(), path.c_str()) == 0;
    };
    const auto pipeLink = [&](bool readerGone) {
        return [&, readerGone](const std::string& path) {
            int ends[2];
            if (pipe(ends) != 0) return false;
            readEnd = ends[0];
            writeEnd = ends[1];
            if (readerGone) close(std::exchange(readEnd, -1));
            return linkTo(path, writeEnd);
        };
    };
    // "out.held" holding "held ", open through writeEnd: its holder wrote them, or it appends to them.
    const auto heldFile = [&](const std::string& path, bool appends) {
        TestSupport::WriteFile(path + ".held", appends ? "held " : "");
        writeEnd = open((path + ".held").c_str(), (appends ? O_WRONLY | O_APPEND : O_RDWR) | O_CLOEXEC);
        return writeEnd >= 0 && (appends || write(writeEnd, "held ", 5) == 5);
    };
    const struct {
        const char* what;
        std::function<bool(const std::string& path)> make;
        const char* reason;             // empty when the write succeeds
        const char* arrives = "bytes";  // what readEnd reads from its start
        const char* named = nullptr;    // what "out.held" holds then
    } rows[] = {
        {"a FIFO with a reader",
         [&](const std::string& path) {
             return mkfifo(path.c_str(), 0600) == 0 && (readEnd = open(path.c_str(), O_RDONLY | O_NONBLOCK)) >= 0;
         },
         ""},
        {"a link to a pipe", pipeLink(false), ""},
        {"a link to a pipe whose reader has gone", pipeLink(true), "Broken pipe"},
        {"a link to a descriptor of ours, after what it wrote",
         [&](const std::string& path) { return heldFile(path, false) && linkTo(path, writeEnd); }, "", "",
         "held bytes"},
        {"a link to a descriptor of ours that appends, through a thread's folder",
         [&](const std::string& path) { return heldFile(path, true) && linkTo(path, writeEnd, "thread-self"); }, "", "",
         "held bytes"},
        {"a link to another process's descriptor",
         [&](const std::string& path) {
             if (!heldFile(path, false) || (holder = fork()) < 0) return false;
             if (holder == 0) for (;;) pause();
             readEnd = std::exchange(writeEnd, -1);
             return linkTo(path, readEnd, std::to_string(holder));
         },
         "", "held ", "bytes"},
        {"a device", [](const std::string& path) { return mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0; },
         ""},
        {"a folder", [](const std::string& path) { return mkdir(path.c_str(), 0700) == 0; }, "Is a directory"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        const std::string path = dir.file("out");
        if (!row.make(path)) {
            ASSERT_EQ(std::string(row.what), "a device") << std::strerror(errno);
            std::printf("Not tested here: writing into %s (%s)\n", row.what, std::strerror(errno));
            continue;
        }
        const auto entries = [&] { return std::distance(fs::directory_iterator(dir.path()), {}); };
        const auto count = entries();
        struct stat before {}, after {};
        ASSERT_EQ(lstat(path.c_str(), &before), 0);
        std::string reason;
        const bool written = Zelvo::AtomicFileWriter::WriteWholeFile(path, "bytes", 5, &reason);
        EXPECT_EQ(written, *row.reason == '\0');
        EXPECT_EQ(reason, row.reason);
        if (holder > 0 && kill(holder, SIGKILL) == 0) waitpid(std::exchange(holder, -1), nullptr, 0);
        if (writeEnd >= 0) close(std::exchange(writeEnd, -1));  // so that the read below can't block
        if (readEnd >= 0) {
            char arrived[16] = {};
            ssize_t got = pread(readEnd, arrived, sizeof arrived, 0);
            if (got < 0 && errno == ESPIPE) got = read(readEnd, arrived, sizeof arrived);
            EXPECT_EQ(std::string(arrived, size_t(std::max<ssize_t>(got, 0))), row.arrives);
            close(std::exchange(readEnd, -1));
        }
        if (row.named) EXPECT_EQ(ReadFile(path + ".held"), row.named);
        ASSERT_EQ(lstat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(entries(), count);
    }
}

// A replaced file keeps its permissions, and a link in the folder keeps leading to the file
// that now holds the new bytes.
TEST(DataSetFiles, AReplacedFileKeepsItsModeAndItsLink)
{
    TempDir dir;
    MakeDataSet(dir.path(), "d", 12);
    ASSERT_EQ(chmod(dir.file("d.xml").c_str(), 0640), 0);
    ASSERT_EQ(rename(dir.file("d_km.bin").c_str(), dir.file("km.real").c_str()), 0);
    ASSERT_EQ(symlink("km.real", dir.file("d_km.bin").c_str()), 0);
    HDfileIO io;
    ASSERT_TRUE(Open(io, dir.file("d.xml")));
    const std::unique_ptr<ClusteringResult> other = Halves(12, 1);
    CaptureStdout([&] {
        ASSERT_TRUE(io.WriteClusteringResult(*other, "km"));
        ASSERT_TRUE(io.SaveHDdataSet());
    });
    struct stat status {};
    ASSERT_EQ(stat(dir.file("d.xml").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_TRUE(fs::is_symlink(dir.file("d_km.bin")));
    EXPECT_EQ(ReadFile(dir.file("km.real")), other->GetSerializedHierarchyString());
}

// The name of a stored result's file is compared with the other files of the data set by
// where it leads, not by its text: a description whose point file is spelled "./d_km.bin",
// or a link or second name for one of its files, never gets that file overwritten.
TEST(DataSetFiles, AStoredResultNeverReplacesAnotherFileOfTheDataSet)
{
    const int rows = 12;
    const auto pointFileAs = [](const std::string& name) {
        return [name](HDfileIO& io, const std::string& folder) {
            std::rename((folder + "d.bin").c_str(), (folder + name).c_str());
            io.SetBinaryFileNames(name, "", "", "");
        };
    };
    const auto linkTo = [](const std::string& target, bool hard) {
        return [target, hard](HDfileIO&, const std::string& folder) {
            if (hard) {
                ASSERT_EQ(link((folder + target).c_str(), (folder + "d_new.bin").c_str()), 0);
            } else {
                ASSERT_EQ(symlink(target.c_str(), (folder + "d_new.bin").c_str()), 0);
            }
        };
    };
    const struct {
        const char* what;
        std::function<void(HDfileIO&, const std::string&)> arrange;
        const char* store;  // a clustering, or with "embed_" an embedding, to be stored
        const char* owner;  // what the refusal names; null when the store is fine
    } cases[] = {
        {"point file spelled ./d_new.bin", pointFileAs("./d_new.bin"), "new", "the point data"},
        {"point file spelled ./d_embed_new.bin", pointFileAs("./d_embed_new.bin"), "embed_new", "the point data"},
        {"link to the point file", linkTo("d.bin", false), "new", "the point data"},
        {"second name of the point file", linkTo("d.bin", true), "new", "the point data"},
        {"link to the description", linkTo("d.xml", false), "new", "the data description"},
        {"volume labels spelled ./d_new.bin, not there yet",
         [](HDfileIO& io, const std::string&) { io.SetBinaryFileNames("d.bin", "", "", "./d_new.bin"); }, "new",
         "the volume labels"},
        {"the binary cluster file named d_new.bin",
         [](HDfileIO& io, const std::string&) { io.SetBinaryFileNames("d.bin", "d_new.bin", "", ""); }, "new",
         "the binary cluster file"},
        {"the binary label file spelled ./d_embed_new.bin",
         [](HDfileIO& io, const std::string&) { io.SetBinaryFileNames("d.bin", "", "./d_embed_new.bin", ""); },
         "embed_new", "the binary label file"},
        {"another clustering's file spelled sub/../d_embed_new.bin",
         [](HDfileIO& io, const std::string&) { io.SetClusteringResultFile("old", "sub/../d_embed_new.bin"); },
         "embed_new", "the clustering result \"old\""},
        {"the clustering km again, its own file", [](HDfileIO&, const std::string&) {}, "km", nullptr},
        {"a new clustering", [](HDfileIO&, const std::string&) {}, "new", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        MakeDataSet(dir.path(), "d", rows);
        ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0700), 0);
        HDfileIO io;
        ASSERT_TRUE(Open(io, dir.file("d.xml")));
        c.arrange(io, dir.path());
        const Folder before = Snapshot(dir.path());
        const std::map<std::string, std::string> recorded = io.GetClusteringResults();

        std::vector<float> positions(size_t(rows) * 2, 7.0f);
        positions[0] = 1.0f;
        EmbeddingResult embedding(positions.data(), 2, rows, nullptr);
        const std::string store = c.store;
        bool stored = false;
        const std::string out = CaptureStdout([&] {
            stored = store.rfind("embed_", 0) == 0 ? io.WriteEmbeddingResult(embedding, store.substr(6))
                                                   : io.WriteClusteringResult(*Halves(rows, 1), store);
        });
        EXPECT_EQ(stored, c.owner == nullptr) << out;
        if (!c.owner) continue;
        EXPECT_EQ(out, "Error: the file d_" + store + ".bin already holds " + c.owner +
                           ", store under another identifier\n");
        EXPECT_EQ(Changed(before, Snapshot(dir.path())), Names{});
        EXPECT_EQ(io.GetClusteringResults(), recorded);
    }
}

// Save As after a deletion: the data set that was opened keeps its files, and the copy is a
// data set of its own that opens with the kept points.
TEST(DataSetFiles, SaveAsAfterADeletionWritesACopyOfItsOwn)
{
    TempDir dir;
    const std::string a = dir.file("a/"), b = dir.file("b/");
    ASSERT_EQ(mkdir(a.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(b.c_str(), 0700), 0);
    MakeDataSet(a, "x", 12);
    HDfileIO io;
    ASSERT_TRUE(Open(io, a + "x.xml"));
    HDpointSet<float> points;
    ASSERT_TRUE(io.ReadHDPointSet(points));
    std::vector<int> deleted = {7, 2};
    ASSERT_TRUE(points.DeleteHDpoints(deleted));
    points.m_dimMask[1] = false;
    const Folder original = Snapshot(a);

    bool saved = false;
    std::string out = CaptureStdout([&] { saved = io.SaveAsHDdataSet((b + "y.xml").c_str(), points); });
    ASSERT_TRUE(saved) << out;
    EXPECT_EQ(Changed(original, Snapshot(a)), Names{});
    EXPECT_EQ(Changed({}, Snapshot(b)), (Names{"y.bin (new)", "y.xml (new)"}));
    EXPECT_EQ(io.GetFullPath(), a + "x.xml");
    EXPECT_EQ(io.GetPointCount(), 12);

    HDfileIO copy;
    ASSERT_TRUE(Open(copy, b + "y.xml"));
    EXPECT_EQ(copy.GetPointCount(), 10);
    EXPECT_EQ(copy.GetSpatialX(), 10);
    EXPECT_EQ(copy.GetSpatialY(), 1);
    EXPECT_EQ(copy.GetSpatialZ(), 1);
    EXPECT_EQ(copy.GetBinaryDataFileName(), "y.bin");
    EXPECT_EQ(copy.GetDimensionMask(), (std::vector<bool>{true, false, true}));
    EXPECT_TRUE(copy.GetClusteringResults().empty());
    HDpointSet<float> read;
    ASSERT_TRUE(copy.ReadHDPointSet(read));
    EXPECT_EQ(read.m_values, Values({0, 1, 3, 4, 5, 6, 8, 9, 10, 11}));

    // A copy that would replace a file of the data set is refused: onto its point file, or
    // with a point file that is a stored result.
    for (const std::string& target : {a + "x.bin", a + "x_km.xml"}) {
        SCOPED_TRACE(target);
        out = CaptureStdout([&] { saved = io.SaveAsHDdataSet(target.c_str(), points); });
        EXPECT_FALSE(saved);
        EXPECT_EQ(out.rfind("Error in saving: " + target + " file: ", 0), 0u) << out;
        EXPECT_EQ(Changed(original, Snapshot(a)), Names{});
    }

    // Onto the description that was opened it is a Save: the kept points replace its own.
    CaptureStdout([&] { saved = io.SaveAsHDdataSet((a + "./x.xml").c_str(), points); });
    EXPECT_TRUE(saved);
    HDfileIO reopened;
    ASSERT_TRUE(Open(reopened, a + "x.xml"));
    EXPECT_EQ(reopened.GetPointCount(), 10);
    HDpointSet<float> kept;
    ASSERT_TRUE(reopened.ReadHDPointSet(kept));
    EXPECT_EQ(kept.m_values, Values({0, 1, 3, 4, 5, 6, 8, 9, 10, 11}));
}

// Save As makes a data set of its own wherever it is saved: it opens with the same points, labels
// and mask, carries the stored clusterings under its own names (not after a deletion: they number
// the original's points), and nothing done in it later (Delete Points and Save, storing a result)
// writes a file that the original names. A copy that would replace one of those is refused, as is
// one that would replace a file already there that the description it replaces does not name.
TEST(DataSetFiles, SaveAsGivesTheCopyFilesOfItsOwn)
{
    const struct {
        const char* copy;  // below the test's folder; the original is a/x.xml
        std::vector<int> deleted;
        std::function<void(const std::string& folder)> arrange;
        Names files;                    // the copy's files it changes; none when it is refused
        std::vector<std::string> stored;
        const char* line;  // one line it prints
    } rows[] = {
        {"a/z.xml", {}, nullptr, {"a/z.bin (new)", "a/z.xml (new)", "a/z_km.bin (new)"}, {"km"}, "km=>z_km.bin"},
        {"b/y.xml", {}, nullptr, {"b/y.bin (new)", "b/y.xml (new)", "b/y_km.bin (new)"}, {"km"}, "km=>y_km.bin"},
        {"b/y.xml", {7, 2}, nullptr, {"b/y.bin (new)", "b/y.xml (new)"}, {}, "Saved the 10 kept points in "},
        {"b/y.xml", {}, [](const std::string& folder) { std::remove((folder + "a/x_km.bin").c_str()); },
         {"b/y.bin (new)", "b/y.xml (new)"}, {}, "Warning: the stored clustering \"km\" is not carried into "},
        {"a/x.copy", {}, nullptr, {}, {}, "its point file @a/x.bin is the point data of @a/x.xml"},
        {"b/y.bin", {}, nullptr, {}, {}, "its point file @b/y.bin is another file of the copy"},
        {"a/x_e.xml", {},
         [](const std::string& folder) {
             HDfileIO io;
             ASSERT_TRUE(Open(io, folder + "a/x.xml"));
             CaptureStdout([&] { ASSERT_TRUE(io.WriteClusteringResult(*Halves(12, 0), "e_km") && io.SaveHDdataSet()); });
         },
         {}, {}, "its clustering result \"km\" @a/x_e_km.bin is the clustering result \"e_km\" of @a/x.xml"},
        // Files already beside the copy are replaced only when the description it replaces names them.
        {"b/y.xml", {}, [](const std::string& folder) { MakeDataSet(folder + "b/", "y_km", 5); }, {}, {},
         "its clustering result \"km\" @b/y_km.bin already exists, choose another name"},
        {"b/y.xml", {},
         [](const std::string& folder) {
             TestSupport::WriteFile(folder + "b/y.bin", "unrelated");
             TestSupport::WriteFile(folder + "b/y.xml", "<DataFile><BinaryDataFile filename=\"y.bin\"/></DataFile>");
         },
         {}, {}, "its point file @b/y.bin already exists, choose another name"},
        {"b/y.xml", {},
         [](const std::string& folder) {
             HDfileIO other;
             other.CreateNewEmptyHDdataSet((folder + "b/y.xml").c_str());
             other.SetBinaryFileNames("y.bin", "", "", "");
             TestSupport::WriteFile(folder + "b/y.bin", "old");
             ASSERT_EQ(symlink("nowhere", (folder + "b/y_km.bin").c_str()), 0);
             CaptureStdout([&] { ASSERT_TRUE(other.SaveHDdataSet()); });
         },
         {}, {}, "its clustering result \"km\" @b/y_km.bin already exists and is no file of the data set it replaces"},
        {"b/y.xml", {},
         [](const std::string& folder) {
             HDfileIO first;
             ASSERT_TRUE(Open(first, folder + "a/x.xml"));
             CaptureStdout([&] { ASSERT_TRUE(first.SaveAsHDdataSet((folder + "b/y.xml").c_str())); });
         },
         {"b/y.xml"}, {"km"}, "km=>y_km.bin"},
        // No name of the copy can part a clustering from a binary file named like its file.
        {"b/y.xml", {},
         [](const std::string& folder) {
             HDfileIO io;
             ASSERT_TRUE(Open(io, folder + "a/x.xml"));
             TestSupport::WriteFile(folder + "a/x_c.bin", "cluster file");
             io.SetBinaryFileNames("x.bin", "x_c.bin", "", "");
             io.SetClusteringResultFile("c", "x_km.bin");
             CaptureStdout([&] { ASSERT_TRUE(io.SaveHDdataSet()); });
         },
         {}, {},
         "its binary cluster file and its clustering result \"c\" would both be @b/y_c.bin, whatever the copy is "
         "called; rename the clustering"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.copy) + " after deleting " + std::to_string(row.deleted.size()) + ": " + row.line);
        TempDir dir;
        ASSERT_EQ(mkdir(dir.file("a").c_str(), 0700), 0);
        ASSERT_EQ(mkdir(dir.file("b").c_str(), 0700), 0);
        MakeDataSet(dir.file("a/"), "x", 12);
        if (row.arrange) row.arrange(dir.path());
        HDfileIO io;
        ASSERT_TRUE(Open(io, dir.file("a/x.xml")));
        HDpointSet<float> points;
        ASSERT_TRUE(io.ReadHDPointSet(points));
        std::vector<int> deleted = row.deleted;
        ASSERT_TRUE(deleted.empty() || points.DeleteHDpoints(deleted));
        points.m_dimMask[1] = false;
        const Folder original = Snapshot(dir.path());

        bool saved = false;
        std::string line = row.line;
        for (size_t at = line.find('@'); at != std::string::npos; at = line.find('@')) line.replace(at, 1, dir.path());
        const std::string out = CaptureStdout([&] { saved = io.SaveAsHDdataSet(dir.file(row.copy).c_str(), points); });
        EXPECT_NE(out.find(line), std::string::npos) << out;
        EXPECT_EQ(saved, !row.files.empty()) << out;
        EXPECT_EQ(Changed(original, Snapshot(dir.path())), row.files);
        EXPECT_EQ(io.GetFullPath(), dir.file("a/x.xml"));
        if (!saved) continue;

        HDfileIO copy;
        ASSERT_TRUE(Open(copy, dir.file(row.copy)));
        EXPECT_EQ(copy.GetDimensionMask(), (std::vector<bool>{true, false, true}));
        EXPECT_EQ(copy.GetDimensionLabels(), (std::vector<std::string>{"a", "b", "c"}));
        EXPECT_EQ(copy.QueryListOfClusteringResults(), row.stored);
        for (const auto& [identifier, file] : copy.GetClusteringResults())
            EXPECT_EQ(ReadFile(copy.GetDirectory() + file), Halves(12, 0)->GetSerializedHierarchyString());
        HDpointSet<float> read;
        ASSERT_TRUE(copy.ReadHDPointSet(read));
        EXPECT_EQ(read.m_values, points.m_values);

        // Work in the copy leaves every file of the original as it was, and it opens as before.
        const Folder beforeWork = Snapshot(dir.path());
        std::vector<int> more = {0};
        ASSERT_TRUE(read.DeleteHDpoints(more));
        CaptureStdout([&] {
            EXPECT_TRUE(copy.WriteHDpointSetProperty(read));
            EXPECT_TRUE(copy.WriteClusteringResult(*Halves(read.GetPointCount(), 1), "km"));
            EXPECT_TRUE(copy.SaveHDdataSet());
        });
        // The copy's own files (all named after it) may be there from an earlier copy.
        const std::string copyBase = std::string(row.copy).substr(0, std::string(row.copy).rfind('.'));
        for (std::string name : Changed(beforeWork, Snapshot(dir.path()))) {
            name = name.substr(0, name.find(" (new)"));
            if (name.rfind(copyBase, 0) != 0) {
                EXPECT_EQ(original.count(name), 0u) << name;
            }
        }
        HDfileIO again;
        HDpointSet<float> all;
        ASSERT_TRUE(Open(again, dir.file("a/x.xml")));
        ASSERT_TRUE(again.ReadHDPointSet(all));
        EXPECT_EQ(all.m_values, Values({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    }
}

// A volume's points fill its grid and the voxel labels follow it: no point can be deleted, and
// the data set opens again with its grid and its points whatever is saved.
TEST(DataSetFiles, AVolumeKeepsItsGridAndItsPoints)
{
    TestSupport::InSourceTree inSourceTree;
    const struct {
        int x, y, z;
        bool labels;
    } grids[] = {{2, 2, 2, true}, {4, 2, 1, false}};
    for (const auto& grid : grids) {
        SCOPED_TRACE(std::to_string(grid.x) + " x " + std::to_string(grid.y) + " x " + std::to_string(grid.z));
        const int voxels = grid.x * grid.y * grid.z;
        TempDir dir;
        std::vector<float> values(size_t(voxels) * 2);
        for (size_t k = 0; k < values.size(); ++k) values[k] = static_cast<float>(k) + 0.5f;
        const std::vector<unsigned int> labels(size_t(voxels), 3u);
        TestSupport::WriteFile(dir.file("v.bin"), std::string(reinterpret_cast<const char*>(values.data()),
                                                              values.size() * sizeof(float)));
        TestSupport::WriteFile(dir.file("vl.bin"), std::string(reinterpret_cast<const char*>(labels.data()),
                                                               labels.size() * sizeof(unsigned int)));
        {
            HDfileIO made;
            ASSERT_TRUE(made.CreateNewEmptyHDdataSet(dir.file("v.xml").c_str()));
            made.SetDataShape(0, voxels, grid.x, grid.y, grid.z, 2);
            made.SetBinaryFileNames("v.bin", "", "", grid.labels ? "vl.bin" : "");
            made.SetDimensionProperties({true, true}, {"p", "q"});
            CaptureStdout([&] { ASSERT_TRUE(made.SaveHDdataSet()); });
        }
        const Folder before = Snapshot(dir.path());
        HDfileIO io;
        Zelvo::DataProfile profile;
        ASSERT_TRUE(Open(io, dir.file("v.xml")));
        CaptureStdout([&] { ASSERT_TRUE(profile.SetHDfileIO(&io)); });

        QSignalSpy changed(&profile, &Zelvo::DataProfile::PointSetChanged);
        std::vector<int> doomed = {3};
        std::string out = CaptureStdout([&] { profile.DeletePointByIndex(doomed); });
        EXPECT_EQ(out.rfind("Warning: The points of a volume data set fill its", 0), 0u) << out;
        EXPECT_EQ(profile.GetPointSet().m_values, values);
        EXPECT_EQ(changed.count(), 0);

        // Points taken from the set behind the profile's back are not saved either.
        ASSERT_TRUE(profile.GetPointSet().DeleteHDpoints(doomed));
        bool saved = true;
        out = CaptureStdout([&] { saved = profile.SaveHDpointSet() && io.SaveHDdataSet(); });
        EXPECT_FALSE(saved);
        EXPECT_NE(out.find("Error: " + dir.file("v.xml") + " is a volume"), std::string::npos) << out;
        EXPECT_EQ(Changed(before, Snapshot(dir.path())), Names{});
        CaptureStdout([&] { saved = io.SaveAsHDdataSet(dir.file("copy.xml").c_str(), profile.GetPointSet()); });
        EXPECT_FALSE(saved);
        EXPECT_EQ(Changed(before, Snapshot(dir.path())), Names{});

        HDfileIO reopened;
        Zelvo::DataProfile again;
        ASSERT_TRUE(Open(reopened, dir.file("v.xml")));
        CaptureStdout([&] { EXPECT_TRUE(again.SetHDfileIO(&reopened)); });
        EXPECT_EQ(again.GetPointSet().m_values, values);
        EXPECT_EQ(again.GetVolumeModel().m_voxelLabels.size(), grid.labels ? labels.size() : 0u);

        // A copy in another folder opens with the same grid, points and voxel labels.
        ASSERT_EQ(mkdir(dir.file("c").c_str(), 0700), 0);
        CaptureStdout([&] { EXPECT_TRUE(reopened.SaveAsHDdataSet(dir.file("c/w.xml").c_str(), again.GetPointSet())); });
        EXPECT_EQ(Changed(before, Snapshot(dir.path())).size(), grid.labels ? 4u : 3u);
        HDfileIO copy;
        Zelvo::DataProfile copied;
        ASSERT_TRUE(Open(copy, dir.file("c/w.xml")));
        CaptureStdout([&] { EXPECT_TRUE(copied.SetHDfileIO(&copy)); });
        EXPECT_EQ(std::vector<int>({copy.GetSpatialX(), copy.GetSpatialY(), copy.GetSpatialZ()}),
                  std::vector<int>({grid.x, grid.y, grid.z}));
        EXPECT_EQ(copied.GetPointSet().m_values, values);
        EXPECT_EQ(copied.GetVolumeModel().m_voxelLabels, again.GetVolumeModel().m_voxelLabels);
    }
}
