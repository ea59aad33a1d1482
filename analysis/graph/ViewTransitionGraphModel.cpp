#include "ViewTransitionGraphModel.h"

#include "DataProfile.h"
#include "LinearProjection.h"
#include "Log.h"
#include "SubspaceGraphNode.h"

#include <algorithm>

namespace Zelvo {

ViewTransitionGraphModel::ViewTransitionGraphModel(QObject* parent) : QObject(parent)
{
    ViewTransitionGraphModel::initParams();
}

ViewTransitionGraphModel::~ViewTransitionGraphModel() = default;

void ViewTransitionGraphModel::initParams()
{
    previousSelectedNode = nullptr;
    currentSelectedNode = nullptr;
    graph.reset();
    subspaceModel = nullptr;
    dataProfile = nullptr;
    viewCounter = 0;
}

ProjectionViewGraphNode* ViewTransitionGraphModel::m_keep(std::unique_ptr<ProjectionViewGraphNode> node)
{
    m_nodes.push_back(std::move(node));
    return m_nodes.back().get();
}

void ViewTransitionGraphModel::m_nodesAppended(int, int) {}

bool ViewTransitionGraphModel::m_fits(const SubspaceModel* m)
{
    if (!dataProfile) {
        Log::Puts("Error subspace model: no data set is loaded");
        return false;
    }
    if (!m || !m->GetLabeling() || !m->GetDescriptor()) {
        Log::Puts("Error subspace model: no subspace clustering to show");
        return false;
    }
    HDpointSet<float>& points = dataProfile->GetPointSet();
    const size_t labels = m->GetLabeling()->GetLabels().size();
    if (labels != static_cast<size_t>(points.GetPointCount())) {
        Log::Printf("Error subspace model: %zu labels for %d points\n", labels, points.GetPointCount());
        return false;
    }
    const int selected = points.GetSelectedDimensionCount();
    const std::vector<Eigen::MatrixXf>& bases = m->GetDescriptor()->bases;
    for (size_t s = 0; s < bases.size(); ++s) {
        // A missing basis file leaves an empty basis: that subspace just has no views.
        if (bases[s].size() != 0 && bases[s].rows() != selected) {
            Log::Printf("Error subspace model: basis %zu has %ld rows for %d selected dimensions\n", s + 1,
                        static_cast<long>(bases[s].rows()), selected);
            return false;
        }
    }
    return true;
}

bool ViewTransitionGraphModel::SetSubspaceModel(std::unique_ptr<SubspaceModel> m)
{
    if (!m_fits(m.get())) return false;
    subspaceModel = m.get();
    m_subspaceModels.push_back(std::move(m));
    subspaceViews.resize(static_cast<size_t>(std::max(subspaceModel->GetSubspaceNum(), 0)));

    GenerateViewsFromSubspace(false);
    const int before = static_cast<int>(graphNodes.size());
    GenerateSubspaceOverviews(true);
    m_nodesAppended(before, static_cast<int>(graphNodes.size()) - before);

    reBuildNodeNeighborhoodGraph();
    emit GraphUpdated();
    return true;
}

void ViewTransitionGraphModel::GenerateViewsFromSubspace(bool addToGraph)
{
    if (!subspaceModel || !subspaceModel->GetDescriptor() || subspaceModel->GetSubspaceNum() < 1) return;
    const std::vector<Eigen::MatrixXf>& bases = subspaceModel->GetDescriptor()->bases;
    const int count = std::min(subspaceModel->GetSubspaceNum(), static_cast<int>(bases.size()));
    if (subspaceViews.size() < static_cast<size_t>(count)) subspaceViews.resize(count);
    for (int s = 0; s < count; ++s) {
        const Eigen::MatrixXf& basis = bases[s];
        Log::Printf("Create subspace <%d> with Dim:%d\n", s, static_cast<int>(basis.cols()));
        for (Eigen::Index a = 0; a < basis.cols(); ++a) {
            for (Eigen::Index b = 0; b < a; ++b) {
                Eigen::MatrixXf plane(basis.rows(), 2);
                plane.col(0) = basis.col(a);
                plane.col(1) = basis.col(b);
                // A zero column stays zero rather than turning into NaN.
                for (Eigen::Index c = 0; c < 2; ++c) {
                    const float length = plane.col(c).norm();
                    if (length > 0) plane.col(c) /= length;
                }
                ProjectionViewGraphNode* node = createProjectionViewFromBasis(plane, s);
                if (addToGraph) graphNodes.push_back(node);
                subspaceViews[s].push_back(node);
                Log::Printf("  Create view (%d,%d)\n", static_cast<int>(a), static_cast<int>(b));
            }
        }
    }
}

ProjectionViewGraphNode* ViewTransitionGraphModel::createProjectionViewFromBasis(Eigen::MatrixXf& basis, int id)
{
    std::unique_ptr<EmbeddingResult> view;
    if (dataProfile) view = LinearProjection(basis).DoEmbeding(&dataProfile->GetPointSet(), 2);
    return m_keep(std::make_unique<ProjectionViewGraphNode>(std::move(view), id));
}

void ViewTransitionGraphModel::GenerateSubspaceOverviews(bool addToGraph)
{
    if (!subspaceModel || !dataProfile || subspaceModel->GetSubspaceNum() < 1) return;
    const int count = subspaceModel->GetSubspaceNum();
    for (int s = 0; s < count; ++s) {
        ProjectionViewGraphNode* node = m_keep(std::make_unique<SubspaceGraphNode>(
            &dataProfile->GetPointSet(), dataProfile->GetDistanceFunctor(), subspaceModel, s));
        if (addToGraph) graphNodes.push_back(node);
        if (subspaceOverviews.size() < static_cast<size_t>(count)) subspaceOverviews.push_back(node);
        Log::Printf("Create subspace overview %d", s);
    }
}

void ViewTransitionGraphModel::AddEmbeddingResult(LinearProjectionEmbeddingResult* r, bool flag)
{
    int id = viewCounter;
    // Added views are numbered after the subspace indices.
    if (subspaceModel && subspaceModel->GetSubspaceNum() > id) id = subspaceModel->GetSubspaceNum();
    viewCounter = id + 1;

    ProjectionViewGraphNode* node = m_keep(std::make_unique<ProjectionViewGraphNode>(r, id));
    node->isAdded = true;
    node->addFlag = flag;
    graphNodes.push_back(node);

    if (graphNodes.size() >= 2) reBuildNodeNeighborhoodGraph();
    emit GraphUpdated();
    emit UpdateEmbedding();
}

std::vector<GraphNodeModelInterface*>* ViewTransitionGraphModel::getGraphNodeInterfacePointers()
{
    nodeInterfaces.assign(graphNodes.begin(), graphNodes.end());
    return &nodeInterfaces;
}

void ViewTransitionGraphModel::reBuildNodeNeighborhoodGraph()
{
    if (!graphGenerator) return;
    graph.reset();
    const std::vector<GraphNodeModelInterface*> nodes = *getGraphNodeInterfacePointers();
    graph = graphGenerator->GenerateGraph(nodes);
}

void ViewTransitionGraphModel::NodeSelectionChanged()
{
    const auto selected = std::find_if(graphNodes.begin(), graphNodes.end(),
                                       [](const ProjectionViewGraphNode* n) { return n->isSelected; });
    previousSelectedNode = currentSelectedNode;
    if (selected != graphNodes.end()) {
        currentSelectedNode = *selected;
        if (previousSelectedNode == currentSelectedNode) previousSelectedNode = nullptr;
    } else {
        currentSelectedNode = nullptr;
    }
    emit UpdateNodeSelection();
}

}  // namespace Zelvo
