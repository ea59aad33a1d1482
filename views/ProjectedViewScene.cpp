#include "ProjectedViewScene.h"

#include "ClusterNodeGraphModel.h"
#include "ClusterNodeItem.h"
#include "GraphicsItemNode.h"
#include "NeighborhoodGraphGeneratorInterface.h"
#include "NodeGraphItem.h"
#include "PointGraphicsItem.h"

namespace Zelvo {

ProjectedViewScene::ProjectedViewScene() {}
ProjectedViewScene::~ProjectedViewScene() = default;
void ProjectedViewScene::SetEmbeddingResult(EmbeddingResult*, bool, bool) {}
void ProjectedViewScene::SetClusterNodeGraph(std::unique_ptr<ClusterNodeGraphModel>, int, int) {}
void ProjectedViewScene::ChangeClusterLevel(int) {}
void ProjectedViewScene::ChangeNeighborGraph(GraphType, distanceFunctor&) {}
void ProjectedViewScene::SetDimDataColorMap(xmlColorMap*, int) {}
void ProjectedViewScene::InitCostColorMap(xmlColorMap*, float) {}
void ProjectedViewScene::UpdateCostRange(std::vector<float>*, float&, float&) {}
void ProjectedViewScene::InitDistortionColorMap(xmlColorMap*, std::string, float, float, int) {}
void ProjectedViewScene::UpdateDistortionRange(std::vector<float>*, float&, float&) {}
void ProjectedViewScene::UpdateDistortionColorMap() {}
void ProjectedViewScene::HighlightSelectedPointNeighbor(xmlColorMap*) {}
std::vector<int>* ProjectedViewScene::GetSelectedPointIndex() { return &m_selectedPointIndices; }
void ProjectedViewScene::AddNodeStatistic(ClusterNodeItem*) {}
void ProjectedViewScene::DeletePointByIndex(std::vector<int>&) {}
std::vector<QColor>* ProjectedViewScene::GetPointColor() { return &m_pointColors; }
QRectF ProjectedViewScene::ZoomToFitAllItem() { return QRectF(0, 0, 1, 1); }
void ProjectedViewScene::ResizingClusterNode(float) {}
void ProjectedViewScene::ResizingPointItems(float) {}
void ProjectedViewScene::Reset() {}
void ProjectedViewScene::SelectByPolygon(const QPolygonF&) {}
int ProjectedViewScene::SelectedItemCount() const { return 0; }
bool ProjectedViewScene::TakeSelectionChange() { return false; }
void ProjectedViewScene::RestoreDefault() {}
void ProjectedViewScene::RefineSelectedClusterNode() {}
void ProjectedViewScene::SetNodeVisibility(bool) {}
void ProjectedViewScene::SetGraphVisibility(bool) {}
void ProjectedViewScene::SetClusteringColoring(bool) {}
void ProjectedViewScene::SetClusterInfoVisibility(bool) {}
void ProjectedViewScene::UpdateEmbeddingPosition() {}
void ProjectedViewScene::m_parsingSelectionChanges() {}
void ProjectedViewScene::m_updatePointsParent(ClusterNodeItem*) {}
void ProjectedViewScene::m_restorePointParentByCurrentParent(ClusterNodeItem*) {}
void ProjectedViewScene::m_restorePointParent() {}
void ProjectedViewScene::m_changePointItemColor(xmlColorMap*, std::vector<float>*, float, float) {}
void ProjectedViewScene::m_clearEmbeddingResult() {}
void ProjectedViewScene::m_clearClusterNode() {}

}  // namespace Zelvo
