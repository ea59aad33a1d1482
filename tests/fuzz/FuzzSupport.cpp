#include "FuzzSupport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace FuzzSupport {

void SilenceStdout()
{
    static const bool silenced = [] {
        std::fflush(stdout);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            close(null);
        }
        return true;
    }();
    (void)silenced;
}

namespace {

// Made where the other tests make theirs: in TMPDIR when it is set.
struct Directory {
    Directory()
    {
        std::error_code unset;
        std::filesystem::path temp = std::filesystem::temp_directory_path(unset);
        if (unset) temp = "/tmp";
        std::string pattern = (temp / "tolvemark-fuzz-XXXXXX").string();
        const char* made = mkdtemp(pattern.data());
        path = std::string(made ? made : "/tmp") + "/";
    }
    ~Directory()
    {
        std::error_code ignored;
        if (path != "/tmp/") std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

}  // namespace

const std::string& WorkDir()
{
    static const Directory directory;
    return directory.path;
}

std::string WriteFile(const std::string& name, const void* data, size_t size)
{
    const std::string path = WorkDir() + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void Fail(const char* file, int line, const char* expression)
{
    std::fprintf(stderr, "%s:%d: fuzz property failed: %s\n", file, line, expression);
    std::abort();
}

}  // namespace FuzzSupport
