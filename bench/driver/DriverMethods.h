#pragma once

#include "ClusteringResult.h"
#include "DataOperationController.h"
#include "EmbeddingResult.h"
#include "GraphModel.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace EngineDriver {

class DriverData;
class DriverOptions;

// What one run of a method produced: a clustering, an embedding or a graph.
struct EngineOutput {
    std::unique_ptr<Zelvo::ClusteringResult> clustering;
    std::unique_ptr<Zelvo::EmbeddingResult> embedding;
    std::unique_ptr<Zelvo::GraphModel<float>> graph;
};

// A method set up on a loaded data set. Run is the call that is timed; it can be repeated.
class PreparedMethod {
public:
    virtual ~PreparedMethod() = default;
    // False when the engine failed.
    virtual bool Run(EngineOutput& output) = 0;
};

struct DriverContext {
    const DriverOptions& options;
    DriverData& data;
    Zelvo::DataOperationController& controller;
};

// Builds the engine (and whatever else the timed call needs) outside the timing; null,
// with the reason in error, when that is impossible.
using PrepareFunction = std::function<std::unique_ptr<PreparedMethod>(DriverContext&, std::string& error)>;

struct DriverMethod {
    const char* name;
    PrepareFunction prepare;
};

// The method of a --method name; null for an unknown name. "load" is not in the table:
// the driver times the loading itself.
const DriverMethod* FindDriverMethod(const std::string& name);

}  // namespace EngineDriver
