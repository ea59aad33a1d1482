#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Shared by the fuzz harnesses: each one is a libFuzzer entry point that runs one reader on
// the bytes and aborts (FUZZ_CHECK) when a property that makes it an oracle fails. The same
// harnesses run over their stored corpora as plain tests (ReplayMain.cpp).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace FuzzSupport {

// The readers print progress lines; fuzzing millions of inputs should not.
void SilenceStdout();
// A private directory for the run (ends with "/"), made once and removed at exit.
const std::string& WorkDir();
// Writes the bytes to WorkDir() + name and returns the path.
std::string WriteFile(const std::string& name, const void* data, size_t size);
std::string ReadFile(const std::string& path);
[[noreturn]] void Fail(const char* file, int line, const char* expression);

}  // namespace FuzzSupport

#define FUZZ_CHECK(expression) \
    ((expression) ? (void)0 : FuzzSupport::Fail(__FILE__, __LINE__, #expression))
