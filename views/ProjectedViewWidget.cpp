#include "ProjectedViewWidget.h"

#include "ClusterNodeGraphModel.h"
#include "ClusteringResult.h"
#include "ColorMapHUD.h"
#include "DataOperationController.h"
#include "DataProfile.h"
#include "EmbeddingResult.h"
#include "ShowStatisticHUD.h"
#include "UserOperation.h"

#include <QSignalBlocker>

namespace Zelvo {

namespace {

// How long the range slider's handle must rest during a drag before the points recolour.
constexpr int kRangeRestMs = 150;

const char* const kGraphTypeNames[] = {"kNN-1", "kNN-2", "kNN-3",  "kNN-4",  "kNN-5", "kNN-6", "kNN-7",
                                       "kNN-8", "kNN-9", "kNN-10", "kNN-15", "kNN-30", "RNG",  "MST"};

}  // namespace

ProjectedViewWidget::ProjectedViewWidget(QWidget* parent) : QWidget(parent)
{
    setupUi(this);

    connect(&m_scene, &ProjectedViewScene::UpdateSelection, this, &ProjectedViewWidget::PointSelectionChanged);
    connect(pushButton_restoreDefault, &QPushButton::clicked, this, &ProjectedViewWidget::RestoreDefault);
    connect(&m_scene, &ProjectedViewScene::UpdateGraph, this, &ProjectedViewWidget::UpdateNeighborhoodGraph);
    connect(&m_scene, &ProjectedViewScene::UpdateColorMap, this, &ProjectedViewWidget::UpdateColorMap);
    connect(GView, &ProjectedViewGraphicsView::UpdateColorMap, this, &ProjectedViewWidget::UpdateColorMap);
    connect(GView, &ProjectedViewGraphicsView::RefineCurrentNode, this, [this] {
        UserOperation::Run(this, "Refine", [this] { m_scene.RefineSelectedClusterNode(); return true; },
                           [this] { m_showNothing(); });
    });
    cbNode->setChecked(true);
    cbGraph->setChecked(true);
    connect(cbNode, &QCheckBox::toggled, &m_scene, &ProjectedViewScene::SetNodeVisibility);
    connect(cbGraph, &QCheckBox::toggled, &m_scene, &ProjectedViewScene::SetGraphVisibility);
    connect(cb_clusterInfo, &QCheckBox::toggled, &m_scene, &ProjectedViewScene::SetClusterInfoVisibility);
    connect(cb_showHUD, &QCheckBox::toggled, this, &ProjectedViewWidget::toggleHUD);
    connect(horizontalSlider_clusterSize, &QSlider::valueChanged, this, &ProjectedViewWidget::ResizeClusterNode);
    connect(horizontalSlider_pointSize, &QSlider::valueChanged, this, &ProjectedViewWidget::ResizePointSize);
    connect(this, &ProjectedViewWidget::PointColorChanged, this, &ProjectedViewWidget::UpdatePointColor);
    connect(horizontalSlider_rangePercentage, &QSlider::valueChanged, this, &ProjectedViewWidget::m_rangeChanged);
    connect(horizontalSlider_rangePercentage, &QSlider::sliderReleased, this, &ProjectedViewWidget::m_rangeReleased);
    connect(pushButton_deletePoints, &QPushButton::clicked, this, &ProjectedViewWidget::DeleteSelectedPoints);
    connect(pushButton_deleteRestPoints, &QPushButton::clicked, this, &ProjectedViewWidget::DeleteUnselectedPoints);

    // Made once here, not per data set or per result, so that one change runs its slot once.
    connect(comboBox_ScalarFunctionSelection, &QComboBox::currentIndexChanged, this,
            &ProjectedViewWidget::UpdateColorMap);
    connect(buttonGroup_colorMap, &QButtonGroup::idClicked, this, &ProjectedViewWidget::UpdateColorMap);
    connect(checkBox_isMinimalEnclosingBall, &QCheckBox::toggled, this, &ProjectedViewWidget::UpdateEmbeddingResult);
    connect(comboBox_SelectClusterLevel, &QComboBox::currentIndexChanged, this,
            &ProjectedViewWidget::UpdateClusterLevelFromInput);
    connect(comboBox_NeighborGraphType, &QComboBox::currentIndexChanged, this,
            &ProjectedViewWidget::UpdateNeighborhoodGraph);

    m_rangeTimer.setSingleShot(true);
    m_rangeTimer.setInterval(kRangeRestMs);
    connect(&m_rangeTimer, &QTimer::timeout, this, &ProjectedViewWidget::UpdateColorMap);

    GView->setScene(&m_scene);
    GView->setRenderHint(QPainter::Antialiasing);
    GView->setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    GView->show();
    groupBox_colorMap->setEnabled(false);
    groupBox_VisualControl->setEnabled(false);
}

ProjectedViewWidget::~ProjectedViewWidget()
{
    // The profile must not keep pointing at the colours of a scene that is gone.
    if (m_profile) m_profile->SetPointColors(nullptr);
    m_scene.SetStatisticHUD(nullptr);
    m_scene.SetColorMapHUD(nullptr);
    GView->setScene(nullptr);
}

// ---- model hookup ------------------------------------------------------------------------

void ProjectedViewWidget::SetModelController(DataProfile* profile, DataOperationController* controller)
{
    m_controller = controller;
    m_setDataProfile(profile);
}

void ProjectedViewWidget::m_setDataProfile(DataProfile* profile)
{
    // Reading a data set released the profile's results, which the scene may still point into.
    CleanUp();
    if (m_profile && m_profile != profile) disconnect(m_profile, nullptr, this, nullptr);
    m_profile = profile;
    if (!profile) return;

    m_setupColorMapSelectionUI();
    connect(profile, &DataProfile::CurrentEmbeddingResultChanged, this, &ProjectedViewWidget::UpdateEmbeddingResult,
            Qt::UniqueConnection);
    connect(profile, &DataProfile::CurrentClusteringResultChanged, this,
            &ProjectedViewWidget::UpdateClusteringResult, Qt::UniqueConnection);

    if (profile->GetColorMap().GetPointCount() > 0 && !m_colorMapHUD) {
        m_colorMapHUD = new ColorMapHUD(&profile->GetColorMap(), GView);
        m_colorMapHUD->SetSizeAndPosition(170, 30, 10, 10);
        m_colorMapHUD->hide();
        m_scene.SetColorMapHUD(m_colorMapHUD);
        connect(m_colorMapHUD, &ColorMapHUD::ColorMapChanged, this, &ProjectedViewWidget::UpdateColorMap);
    }
    m_addStatisticHUD();

    if (profile->GetCurrentEmbeddingResult()) UpdateEmbeddingResult();
}

void ProjectedViewWidget::m_addStatisticHUD()
{
    if (m_statisticHUD) return;
    m_statisticHUD = new ShowStatisticHUD(GView);
    m_statisticHUD->installEventFilter(GView);
    m_statisticHUD->setVisible(cb_showHUD->isChecked());
    m_scene.SetStatisticHUD(m_statisticHUD);
    m_statisticHUD->SetSizeAndPosition(170, 250, 10, 50);
}

void ProjectedViewWidget::m_setupColorMapSelectionUI()
{
    const QSignalBlocker blocker(comboBox_ScalarFunctionSelection);
    comboBox_ScalarFunctionSelection->clear();
    if (!m_profile) return;
    HDpointSet<float>& points = m_profile->GetPointSet();
    // The mask's size is the dimension count the point set itself goes by.
    const int dimensions = static_cast<int>(points.m_dimMask.size());
    for (int d = 0; d < dimensions; ++d)
        comboBox_ScalarFunctionSelection->addItem(QString::fromStdString(points.GetDimensionLabel(d)));
}

void ProjectedViewWidget::m_deleteOverlays()
{
    m_scene.SetStatisticHUD(nullptr);
    m_scene.SetColorMapHUD(nullptr);
    delete m_statisticHUD;
    m_statisticHUD = nullptr;
    delete m_colorMapHUD;
    m_colorMapHUD = nullptr;
}

void ProjectedViewWidget::m_clearClusteringLists()
{
    const QSignalBlocker levelBlocker(comboBox_SelectClusterLevel);
    const QSignalBlocker graphBlocker(comboBox_NeighborGraphType);
    comboBox_SelectClusterLevel->clear();
    comboBox_NeighborGraphType->clear();
}

bool ProjectedViewWidget::CleanUp()
{
    m_showNothing();
    // The overlays are made again for the next data set, so none of this one's numbers stay.
    m_deleteOverlays();
    {
        const QSignalBlocker blocker(comboBox_ScalarFunctionSelection);
        comboBox_ScalarFunctionSelection->clear();
    }
    // A measure chosen for this data set must not start by itself on the next one's first
    // embedding: the colouring goes back to the form's first choice.
    radioButton_DimensionValue->setChecked(true);
    return true;
}

// ---- results -----------------------------------------------------------------------------

void ProjectedViewWidget::m_updateEmbeddingResult()
{
    if (!m_profile) return;
    EmbeddingResult* embedding = m_profile->GetCurrentEmbeddingResult();
    if (!embedding) return;
    groupBox_colorMap->setEnabled(true);
    groupBox_VisualControl->setEnabled(true);
    if (m_colorMapHUD) m_colorMapHUD->setVisible(cb_showHUD->isChecked());
    m_shownColouring = nullptr;  // new items, no colouring yet
    m_scene.SetEmbeddingResult(embedding, checkBox_EmbeddingScaling->isChecked(),
                               checkBox_isMinimalEnclosingBall->isChecked());
    const QRectF r = m_scene.ZoomToFitAllItem();
    GView->fitInView(r, Qt::KeepAspectRatio);
    UpdateColorMap();
}

void ProjectedViewWidget::m_updateClusteringResult()
{
    if (!m_profile || !m_controller) return;
    std::unique_ptr<ClusterNodeGraphModel> model =
        m_controller->GenerateGraphModelFromClusteringResult(m_profile->GetCurrentClusteringResult(), nullptr);
    ClusteringResult* clustering = model ? model->GetClusteringResult() : nullptr;
    if (!model || !clustering) {
        // No embedding (or one that no longer fits the point set): nothing to show. The nodes
        // of an older clustering go too, since the profile releases it after this signal.
        if (m_scene.GetClusterNodeGraphModel()) {
            m_clearClusteringLists();
            m_scene.SetClusterNodeGraph(nullptr, -1, -1);
        }
        return;
    }
    const int depth = clustering->GetTreeDepth(clustering->GetRoot());
    {
        const QSignalBlocker blocker(comboBox_SelectClusterLevel);
        comboBox_SelectClusterLevel->clear();
        for (int level = 1; level < depth; ++level) comboBox_SelectClusterLevel->addItem(QString::number(level));
        comboBox_SelectClusterLevel->setCurrentIndex(0);
    }
    {
        const QSignalBlocker blocker(comboBox_NeighborGraphType);
        comboBox_NeighborGraphType->clear();
        for (const char* name : kGraphTypeNames) comboBox_NeighborGraphType->addItem(name);
        comboBox_NeighborGraphType->setCurrentIndex(0);
    }
    radioButton_ClusteringResult->setChecked(true);
    m_scene.SetClusterNodeGraph(std::move(model), 1, depth);
}

// ---- controls ----------------------------------------------------------------------------

void ProjectedViewWidget::m_updateClusterLevelFromInput()
{
    if (!m_profile) return;
    bool ok = false;
    int level = comboBox_SelectClusterLevel->currentText().toInt(&ok);
    if (!ok) level = 0;
    m_scene.ChangeClusterLevel(level);
    m_scene.SetClusteringColoring(true);
    // Whatever the form says, the points show their clusters now.
    m_shownColouring = radioButton_ClusteringResult;
    UpdatePointColor();
}

void ProjectedViewWidget::m_updateNeighborhoodGraph()
{
    const int index = comboBox_NeighborGraphType->currentIndex();
    if (index < 0 || !m_profile) return;
    m_scene.ChangeNeighborGraph(static_cast<GraphType>(index), m_profile->GetDistanceFunctor());
}

bool ProjectedViewWidget::m_updateColorMap()
{
    // Nothing to colour is nothing refused.
    if (!m_profile || !m_scene.GetEmbeddingResult()) return true;
    m_rangeTimer.stop();
    QAbstractButton* chosen = buttonGroup_colorMap->checkedButton();
    const bool coloured = m_applyColouring(chosen);
    if (coloured) {
        m_shownColouring = chosen;
    } else {
        // The form shows what the view shows, not what was refused: the colouring shown, or
        // the form's first choice when the items show none yet (a new embedding).
        QAbstractButton* shown = m_shownColouring ? m_shownColouring : radioButton_DimensionValue;
        if (shown != chosen) {
            shown->setChecked(true);  // not a click: no colouring starts from it
            if (!m_shownColouring && m_applyColouring(shown)) m_shownColouring = shown;
        }
    }
    m_scene.update();
    GView->viewport()->update();
    emit PointColorChanged();
    return coloured;
}

bool ProjectedViewWidget::m_applyColouring(QAbstractButton* button)
{
    xmlColorMap* map = &m_profile->GetColorMap();
    QSlider* range = horizontalSlider_rangePercentage;
    const float rangePercentage = static_cast<float>(range->value()) / static_cast<float>(range->maximum());
    // QString's number parsing ignores the locale; a text that is no number reads as 0.
    const float bandwidth = lineEdit_KDEbandWidth->text().toFloat();
    const int neighbourCount = lineEdit_NeighborCount->text().toInt();

    const char* mode = nullptr;
    bool coloured = true;
    if (button == radioButton_DimensionValue) {
        mode = "DimensionValue";
        coloured = m_scene.SetDimDataColorMap(map, comboBox_ScalarFunctionSelection->currentIndex());
    } else if (button == radioButton_PerPointCost) {
        mode = "Cost";
        coloured = m_scene.InitCostColorMap(map, rangePercentage);
    } else if (button == radioButton_Stress) {
        mode = "Distortion";
        coloured = m_scene.InitDistortionColorMap(map, "Stress", rangePercentage, 0.3f, 10);
    } else if (button == radioButton_RobustDistance) {
        mode = "Distortion";
        coloured = m_scene.InitDistortionColorMap(map, "Robust", rangePercentage, 0.3f, 10);
    } else if (button == radioButton_KDE) {
        mode = "Distortion";
        coloured = m_scene.InitDistortionColorMap(map, "KDE", rangePercentage, bandwidth, 10);
    } else if (button == radioButton_Coranking) {
        mode = "Distortion";
        coloured = m_scene.InitDistortionColorMap(map, "Corank", rangePercentage, bandwidth, neighbourCount);
    } else if (button == radioButton_ClusteringResult) {
        mode = "Clusteirng";
        m_scene.SetClusteringColoring(true);
    } else if (button == radioButton_HighlightNeighbor) {
        mode = "HighlightNeighbor";
        coloured = m_scene.HighlightSelectedPointNeighbor(map);
    }
    // The canvas acts on the mode of the colouring it shows (a drag recolours by it).
    if (coloured && mode) GView->colorMode = mode;
    return coloured;
}

void ProjectedViewWidget::UpdatePointColor()
{
    if (!m_profile) return;
    // One colour per point-set row, as the parallel coordinates read them.
    m_profile->SetPointColors(m_scene.GetPointColor());
    emit m_profile->PointColorChanged();
}

void ProjectedViewWidget::m_rangeChanged()
{
    if (horizontalSlider_rangePercentage->isSliderDown())
        m_rangeTimer.start();
    else
        UpdateColorMap();
}

void ProjectedViewWidget::m_rangeReleased()
{
    if (m_rangeTimer.isActive()) UpdateColorMap();
}

void ProjectedViewWidget::m_restoreDefault()
{
    const int index = m_scene.GetClusterLevel() - 1;
    if (index >= 0 && index < comboBox_SelectClusterLevel->count()) {
        // The scene shows its stored level again by itself.
        const QSignalBlocker blocker(comboBox_SelectClusterLevel);
        comboBox_SelectClusterLevel->setCurrentIndex(index);
    }
    m_shownColouring = nullptr;  // the items are made anew
    m_scene.RestoreDefault();
}

void ProjectedViewWidget::m_deleteSelectedPoints()
{
    if (!m_profile) return;
    // Point-set rows, so a later deletion still removes what the user selected.
    std::vector<int> rows = *m_scene.GetSelectedPointIndex();
    if (rows.empty()) return;
    if (m_profile->GetPointSet().FillsGrid()) {
        // A volume's grid can't lose a point: the profile refuses with its warning, and the
        // scene hides nothing.
        m_profile->DeletePointByIndex(rows);
        return;
    }
    const int before = m_profile->GetPointSet().GetPointCount();
    m_scene.DeletePointByIndex(rows);
    // The colours in the new row order are in place before the point set announces its change.
    m_profile->SetPointColors(m_scene.GetPointColor());
    m_profile->DeletePointByIndex(rows);
    if (m_profile->GetPointSet().GetPointCount() == before) return;
    // The embedding keeps its rows; its measures that read the point set translate through these.
    if (EmbeddingResult* embedding = m_scene.GetEmbeddingResult()) embedding->SetPointSetRows(m_scene.GetPointSetRows());
    // The profile renumbered its clustering with the points: the nodes follow it.
    m_scene.RebuildClusterNodes();
    // Ranges and measures are over the remaining points now; recolouring also hands the
    // colours in the new row order on.
    UpdateColorMap();
    // The deleted points left the selection.
    if (m_scene.TakeSelectionChange()) emit PointSelectionChanged();
}

void ProjectedViewWidget::DeleteUnselectedPoints()
{
}

void ProjectedViewWidget::ResizeClusterNode()
{
    m_scene.ResizingClusterNode(horizontalSlider_clusterSize->value() / 100.0f);
}

void ProjectedViewWidget::ResizePointSize()
{
    m_scene.ResizingPointItems(horizontalSlider_pointSize->value() / 100.0f);
}

void ProjectedViewWidget::toggleUI(bool visible)
{
    InputUI->setVisible(visible);
}

void ProjectedViewWidget::toggleHUD(bool visibility)
{
    if (m_statisticHUD) m_statisticHUD->setVisible(visibility);
    if (m_colorMapHUD) m_colorMapHUD->setVisible(visibility);
}

// ---- operation boundaries ----------------------------------------------------------------

void ProjectedViewWidget::m_runOperation(const char* what, void (ProjectedViewWidget::*body)(), bool rebuildsScene)
{
    std::function<void()> recover;
    if (rebuildsScene) recover = [this] { m_showNothing(); };
    UserOperation::Run(this, what, [this, body] {
        (this->*body)();
        return true;
    }, recover);
}

void ProjectedViewWidget::m_showNothing()
{
    m_rangeTimer.stop();
    m_scene.Reset();
    m_shownColouring = nullptr;
    m_clearClusteringLists();
    GView->colorMode.clear();
    groupBox_colorMap->setEnabled(false);
    groupBox_VisualControl->setEnabled(false);
    if (m_profile) m_profile->SetPointColors(nullptr);
}

void ProjectedViewWidget::UpdateClusterLevelFromInput()
{
    m_runOperation("Cluster level", &ProjectedViewWidget::m_updateClusterLevelFromInput, true);
}

void ProjectedViewWidget::UpdateNeighborhoodGraph()
{
    // The old graph item goes before the new one is built: a failure leaves no graph.
    m_runOperation("Neighbourhood graph", &ProjectedViewWidget::m_updateNeighborhoodGraph, false);
}

void ProjectedViewWidget::UpdateClusteringResult()
{
    m_runOperation("Clustering result", &ProjectedViewWidget::m_updateClusteringResult, true);
}

void ProjectedViewWidget::UpdateEmbeddingResult()
{
    m_runOperation("Embedding result", &ProjectedViewWidget::m_updateEmbeddingResult, true);
}

void ProjectedViewWidget::UpdateColorMap()
{
    // A refused colouring leaves the items as they were: nothing to undo, but the operation
    // failed, so that its lines are shown even when none of them is an error. After an
    // exception the form goes back to the last colouring that was shown whole.
    UserOperation::Run(this, "Colour map", [this] { return m_updateColorMap(); }, [this] {
        if (m_shownColouring) m_shownColouring->setChecked(true);
    });
}

void ProjectedViewWidget::RestoreDefault()
{
    m_runOperation("Restore To Default", &ProjectedViewWidget::m_restoreDefault, true);
}

void ProjectedViewWidget::DeleteSelectedPoints()
{
    m_runOperation("Delete Points", &ProjectedViewWidget::m_deleteSelectedPoints, true);
}

}  // namespace Zelvo
