// Runs a harness over the files of its corpus directories (given as arguments) when the
// compiler has no libFuzzer: the corpus is then an ordinary regression test.
#include "FuzzSupport.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::filesystem::path> files;
    for (int a = 1; a < argc; ++a) {
        const std::filesystem::path root(argv[a]);
        if (std::filesystem::is_regular_file(root)) {
            files.push_back(root);
            continue;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
            if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "no corpus files given\n");
        return 1;
    }
    for (const auto& file : files) {
        const std::string bytes = FuzzSupport::ReadFile(file.string());
        std::fprintf(stderr, "%s\n", file.string().c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::fprintf(stderr, "%zu inputs replayed\n", files.size());
    return 0;
}
