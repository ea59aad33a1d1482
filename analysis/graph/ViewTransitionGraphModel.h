#pragma once

#include "GraphModel.h"
#include "GraphNodeModelInterface.h"
#include "LinearProjectionEmbeddingResult.h"
#include "ProjectionViewGraphNode.h"
#include "SubspaceModel.h"
#include "ViewGraphGeneratorInterface.h"

#include <Eigen/Core>
#include <QObject>

#include <memory>
#include <vector>

namespace Zelvo {

class DataProfile;

// A graph whose nodes are 2-D linear projections of the point set. From a subspace
// clustering it makes one view per pair of basis vectors of each subspace and one overview
// node per subspace; further views can be added. The graph between the nodes is computed
// by an attached generator (none by default, so the graph stays empty).
//
// The model owns every node it creates and every subspace model handed to it (the nodes
// of an earlier model keep pointing into it); the node lists only point.
class ViewTransitionGraphModel : public QObject {
    Q_OBJECT

public:
    explicit ViewTransitionGraphModel(QObject* parent = nullptr);
    ~ViewTransitionGraphModel() override;
    ViewTransitionGraphModel(const ViewTransitionGraphModel&) = delete;
    ViewTransitionGraphModel& operator=(const ViewTransitionGraphModel&) = delete;

    // Builds the pairwise views (kept in subspaceViews only) and the overview nodes (also
    // added to the graph), rebuilds the graph and emits GraphUpdated. Refused with an
    // "Error ..." line (false, the model is dropped, nothing changes) without a data profile,
    // for a null model, when the labels do not number the profile's points, or when a basis
    // has values but not one row per selected dimension.
    bool SetSubspaceModel(std::unique_ptr<SubspaceModel> m);

    // Adds a view of r, which the caller keeps alive as long as the model; rebuilds the graph
    // once there are two nodes and emits GraphUpdated, then UpdateEmbedding.
    virtual void AddEmbeddingResult(LinearProjectionEmbeddingResult* r, bool flag);
    // Clears the selection, graph, current subspace model, profile and view counter.
    virtual void initParams();
    virtual void reBuildNodeNeighborhoodGraph();

    // nodeInterfaces refilled from graphNodes.
    std::vector<GraphNodeModelInterface*>* getGraphNodeInterfacePointers();
    // A view projecting the profile's point set onto basis (no embedding when that fails);
    // the model owns it.
    ProjectionViewGraphNode* createProjectionViewFromBasis(Eigen::MatrixXf& basis, int id);
    void GenerateViewsFromSubspace(bool addToGraph);
    void GenerateSubspaceOverviews(bool addToGraph);

    std::vector<ProjectionViewGraphNode*> graphNodes;  // graph index = position
    std::vector<GraphNodeModelInterface*> nodeInterfaces;
    std::unique_ptr<ViewGraphGeneratorInterface> graphGenerator;
    ProjectionViewGraphNode* previousSelectedNode = nullptr;
    ProjectionViewGraphNode* currentSelectedNode = nullptr;
    std::unique_ptr<GraphModel<float>> graph;
    SubspaceModel* subspaceModel = nullptr;  // the last model handed in
    DataProfile* dataProfile = nullptr;      // not owned
    int viewCounter = 0;
    std::vector<std::vector<ProjectionViewGraphNode*>> subspaceViews;  // pairwise views per subspace
    std::vector<ProjectionViewGraphNode*> subspaceOverviews;           // one per subspace

signals:
    void GraphUpdated();
    void CurrentPathPositionChanged();
    void UpdateNodeSelection();
    void UpdateEdgeSelection();
    void UpdateEmbedding();
    void SubspaceNodesdAdded();

public slots:
    // Follows the first node whose isSelected is set; emits UpdateNodeSelection.
    void NodeSelectionChanged();

protected:
    // Told after count nodes were appended to graphNodes holding previousCount before.
    virtual void m_nodesAppended(int previousCount, int count);
    // Keeps node for the model's life and returns it.
    ProjectionViewGraphNode* m_keep(std::unique_ptr<ProjectionViewGraphNode> node);

private:
    bool m_fits(const SubspaceModel* m);

    std::vector<std::unique_ptr<ProjectionViewGraphNode>> m_nodes;
    std::vector<std::unique_ptr<SubspaceModel>> m_subspaceModels;
};

}  // namespace Zelvo
