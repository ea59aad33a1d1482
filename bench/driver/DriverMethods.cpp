#include "DriverMethods.h"

#include "ClusteringFactory.h"
#include "DimReductionFactory.h"
#include "DriverData.h"
#include "DriverOptions.h"
#include "GraphGeneratorFactory.h"

#include <utility>

namespace EngineDriver {

namespace {

class ClusteringRun : public PreparedMethod {
public:
    ClusteringRun(std::unique_ptr<Zelvo::ClusteringInterface> engine, Zelvo::DataOperationController& controller)
        : m_engine(std::move(engine)), m_controller(controller)
    {
    }
    bool Run(EngineOutput& output) override
    {
        output.clustering = m_controller.ApplyClustering(m_engine.get());
        return output.clustering != nullptr;
    }

private:
    std::unique_ptr<Zelvo::ClusteringInterface> m_engine;
    Zelvo::DataOperationController& m_controller;
};

class EmbeddingRun : public PreparedMethod {
public:
    EmbeddingRun(std::unique_ptr<Zelvo::DimReductionInterface> engine, Zelvo::DataOperationController& controller)
        : m_engine(std::move(engine)), m_controller(controller)
    {
    }
    bool Run(EngineOutput& output) override
    {
        output.embedding = m_controller.ApplyDimReduction(m_engine.get());
        return output.embedding != nullptr;
    }

private:
    std::unique_ptr<Zelvo::DimReductionInterface> m_engine;
    Zelvo::DataOperationController& m_controller;
};

// A clustering method from a function that builds its engine through the factory.
template <typename MakeEngine>
PrepareFunction ClusteringMethod(MakeEngine make)
{
    return [make](DriverContext& context, std::string& error) -> std::unique_ptr<PreparedMethod> {
        std::unique_ptr<Zelvo::ClusteringInterface> engine = make(context);
        if (!engine) {
            error = "the factory made no engine";
            return nullptr;
        }
        return std::make_unique<ClusteringRun>(std::move(engine), context.controller);
    };
}

// A dimension-reduction method from a function that builds its engine through the factory.
template <typename MakeEngine>
PrepareFunction EmbeddingMethod(MakeEngine make)
{
    return [make](DriverContext& context, std::string& error) -> std::unique_ptr<PreparedMethod> {
        std::unique_ptr<Zelvo::DimReductionInterface> engine = make(context);
        if (!engine) {
            error = "the factory made no engine";
            return nullptr;
        }
        return std::make_unique<EmbeddingRun>(std::move(engine), context.controller);
    };
}

// The profile's functor with the --distance type and the current dimension selection.
Zelvo::distanceFunctor& Distance(DriverContext& context)
{
    return context.data.Profile().GetDistanceFunctor(static_cast<Zelvo::DistanceType>(context.options.distance));
}

// Neighbourhood graph with every point as its own cluster node.
class GraphRun : public PreparedMethod {
public:
    bool Run(EngineOutput& output) override
    {
        output.graph = generator->GenerateNeighborhoodGraph(*model, *distance);
        // The minimum spanning tree entry deliberately builds no graph.
        return output.graph != nullptr || type == Zelvo::MSTGraph;
    }

    Zelvo::GraphType type = Zelvo::KNN1Graph;
    std::unique_ptr<Zelvo::NeighborhoodGraphGeneratorInterface> generator;
    std::unique_ptr<Zelvo::ClusteringResult> clustering;
    std::unique_ptr<Zelvo::EmbeddingResult> embedding;
    std::unique_ptr<Zelvo::ClusterNodeGraphModel> model;
    Zelvo::distanceFunctor* distance = nullptr;
};

bool GraphTypeFromName(const std::string& name, Zelvo::GraphType& type)
{
    static const char* const kNames[] = {"kNN-1", "kNN-2", "kNN-3", "kNN-4",  "kNN-5",  "kNN-6", "kNN-7",
                                         "kNN-8", "kNN-9", "kNN-10", "kNN-15", "kNN-30", "RNG",   "MST"};
    for (int i = 0; i < static_cast<int>(sizeof kNames / sizeof kNames[0]); ++i) {
        if (name == kNames[i]) {
            type = static_cast<Zelvo::GraphType>(i);
            return true;
        }
    }
    return false;
}

std::unique_ptr<PreparedMethod> PrepareGraph(DriverContext& context, std::string& error)
{
    auto run = std::make_unique<GraphRun>();
    const std::string name = context.options.Text("graph", "kNN-5");
    if (!GraphTypeFromName(name, run->type)) {
        error = "unknown graph " + name;
        return nullptr;
    }
    run->generator = Zelvo::GraphGeneratorFactory::FromNeighborhoodGraphFactory(run->type);

    Zelvo::HDpointSet<float>& points = context.data.Profile().GetPointSet();
    const int D = static_cast<int>(points.m_dimMask.size());
    const int n = points.GetPointCount();
    const int xDim = context.options.Int("x", 0);
    const int yDim = context.options.Int("y", D > 1 ? 1 : 0);
    if (n < 1 || xDim < 0 || yDim < 0 || xDim >= D || yDim >= D) {
        error = "axes --x " + std::to_string(xDim) + " --y " + std::to_string(yDim) + " do not fit the data";
        return nullptr;
    }

    // One cluster per point, placed at its raw values on the two chosen axes.
    std::vector<std::vector<int>> singletons(static_cast<size_t>(n));
    std::vector<float> positions(2 * static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        singletons[static_cast<size_t>(i)] = {i};
        positions[2 * static_cast<size_t>(i)] = points.m_values[static_cast<size_t>(i) * D + xDim];
        positions[2 * static_cast<size_t>(i) + 1] = points.m_values[static_cast<size_t>(i) * D + yDim];
    }
    run->clustering = std::make_unique<Zelvo::ClusteringResult>();
    run->clustering->SetClusteringIndexArray(singletons);
    run->embedding = std::make_unique<Zelvo::EmbeddingResult>(positions.data(), 2, n, &points);
    run->model = context.controller.GenerateGraphModelFromClusteringResult(run->clustering.get(), run->embedding.get());
    if (!run->model) {
        error = "no cluster-node model";
        return nullptr;
    }
    run->model->UpdateClusterNodeByLevel(1);
    run->distance = &Distance(context);
    return run;
}

// One entry per method. An engine joins with one line that builds it through its factory
// from the options, for instance
//   {"kmeans", ClusteringMethod([](DriverContext& c) {
//        return Zelvo::ClusteringFactory::FromKmeansClusteringFactory(c.options.Int("k", 3),
//            static_cast<Zelvo::kmeansType>(c.options.Int("type", 0))); })},
//   {"pca", EmbeddingMethod([](DriverContext& c) { return Zelvo::DimReductionFactory::FromPCAFactory(Distance(c)); })},
// Options by method: hc --linkage (with --distance); kmeans --k --type; spectral and subspace
// --k --kernel; isomap and lle --neighbors; le --neighbors --tau; axis --x --y.
const std::vector<DriverMethod>& Methods()
{
    static const std::vector<DriverMethod> methods{
        {"graph", PrepareGraph},
        {"pca", EmbeddingMethod([](DriverContext& c) { return Zelvo::DimReductionFactory::FromPCAFactory(Distance(c)); })},
        {"mds", EmbeddingMethod([](DriverContext& c) { return Zelvo::DimReductionFactory::FromMDSFactory(Distance(c)); })},
        {"isomap", EmbeddingMethod([](DriverContext& c) {
             return Zelvo::DimReductionFactory::FromISOMAPFactory(Distance(c), c.options.Int("neighbors", 10));
         })},
        {"le", EmbeddingMethod([](DriverContext& c) {
             return Zelvo::DimReductionFactory::FromLaplacianEigenmapFactory(Distance(c), c.options.Int("neighbors", 10),
                                                                             c.options.Float("tau", 1.0f));
         })},
        {"lle", EmbeddingMethod([](DriverContext& c) {
             return Zelvo::DimReductionFactory::FromLocalLinearEmbeddingFactory(Distance(c), c.options.Int("neighbors", 10));
         })},
        {"axis", EmbeddingMethod([](DriverContext& c) {
             return Zelvo::DimReductionFactory::FromAxisAlignProjectionFactory(c.options.Int("x", 0), c.options.Int("y", 1));
         })},
        {"kmeans", ClusteringMethod([](DriverContext& c) {
             return Zelvo::ClusteringFactory::FromKmeansClusteringFactory(
                 c.options.Int("k", 3), static_cast<Zelvo::kmeansType>(c.options.Int("type", 0)));
         })},
        {"spectral", ClusteringMethod([](DriverContext& c) {
             return Zelvo::ClusteringFactory::FromSpectralClusteringFactory(
                 Distance(c), Zelvo::NormalizedCut, c.options.Int("k", 0), c.options.Float("kernel", 1.0f));
         })},
        {"subspace", ClusteringMethod([](DriverContext& c) {
             return Zelvo::ClusteringFactory::FromSubspaceClusteringFactory(
                 Distance(c), Zelvo::LeastSquaresSelfRepresentation, Zelvo::NormalizedCut, c.options.Int("k", 0),
                 c.options.Float("kernel", 1.0f));
         })},
        {"hc", ClusteringMethod([](DriverContext& c) {
             return Zelvo::ClusteringFactory::FromClassicalHierarchClusteringFactory(
                 static_cast<Zelvo::HierarchyicalClusteringType>(c.options.Int("linkage", 2)),
                 static_cast<Zelvo::DistanceType>(c.options.distance));
         })},
    };
    return methods;
}

}  // namespace

const DriverMethod* FindDriverMethod(const std::string& name)
{
    for (const DriverMethod& method : Methods())
        if (name == method.name) return &method;
    return nullptr;
}

}  // namespace EngineDriver
