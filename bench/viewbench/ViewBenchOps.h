#pragma once

// Operations of view_bench. Each source file under bench/viewbench/ registers its own operations
// with a static ViewBenchRegistrar, so adding an operation touches no other file.

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace ViewBench {

struct Options {
    int points = 10000;
    int dims = 10;
    int clusters = 10;
    int repeat = 5;
    std::string op;
    std::string mode;  // what an operation that has several does (--mode)
};

// Runs the operation options.repeat times (setting up whatever it needs once, untimed) and
// returns the milliseconds of each repetition. It may print lines of its own ("step ... MS").
// An empty result means the operation failed (it says why on standard error).
using Operation = std::function<std::vector<double>(const Options&)>;

std::map<std::string, Operation>& Registry();

struct Registrar {
    Registrar(const std::string& name, Operation operation) { Registry()[name] = std::move(operation); }
};

}  // namespace ViewBench
