#pragma once

#include "ProjectedViewScene.h"
#include "ui_ProjectedView.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace Zelvo {

class ColorMapHUD;
class DataOperationController;
class DataProfile;
class ShowStatisticHUD;

// The projected view: the canvas on the left and, on the right, the controls that choose the
// colouring, the cluster level and the neighbourhood graph, switch layers and overlays, size
// points and nodes, restore the computed layout and delete points. It owns the scene, follows
// the profile's current embedding and clustering, keeps the profile's per-point colours in
// step with the scene and relays the scene's selection changes.
//
// The profile and the controller belong to the main window; the widget only points at them
// from SetModelController until CleanUp.
class ProjectedViewWidget : public QWidget, public Ui_ProjectedView {
    Q_OBJECT

public:
    explicit ProjectedViewWidget(QWidget* parent = nullptr);
    ~ProjectedViewWidget() override;

    // Called each time a data set has been read into the profile.
    void SetModelController(DataProfile* profile, DataOperationController* controller);
    // Called when the data set is closed: the widget is left as a new one. Safe to repeat.
    bool CleanUp();

    // The selection (GetSelectedPointIndex: point-set rows) and the shown items.
    ProjectedViewScene& GetScene() { return m_scene; }
    ColorMapHUD* GetColorMapHUD() const { return m_colorMapHUD; }
    ShowStatisticHUD* GetStatisticHUD() const { return m_statisticHUD; }

signals:
    void PointSelectionChanged();
    void PointColorChanged();

public slots:
    void toggleUI(bool visible);
    void toggleHUD(bool visibility);
    void UpdateClusterLevelFromInput();
    void UpdateNeighborhoodGraph();
    void UpdateClusteringResult();
    void UpdateEmbeddingResult();
    void UpdateColorMap();
    void UpdatePointColor();
    void RestoreDefault();
    void DeleteSelectedPoints();
    void DeleteUnselectedPoints();
    void ResizeClusterNode();
    void ResizePointSize();

private slots:
    // The range slider recolours at once from the keyboard, and during a drag only once the
    // handle rests or is let go: a cost or distortion recolouring is not cheap.
    void m_rangeChanged();
    void m_rangeReleased();

private:
    // The slots' work; each public slot runs its body as one user operation (UserOperation).
    void m_updateClusterLevelFromInput();
    void m_updateNeighborhoodGraph();
    void m_updateClusteringResult();
    void m_updateEmbeddingResult();
    // Applies the checked colouring; false when it was refused, and the form's choice is then
    // back at the colouring the view shows.
    bool m_updateColorMap();
    // Applies the colouring of a button of the form (its mode too); false when it was refused.
    bool m_applyColouring(QAbstractButton* button);
    void m_restoreDefault();
    void m_deleteSelectedPoints();
    // Runs body as the operation what; after an exception a body that rebuilds the scene
    // leaves it showing nothing rather than half built.
    void m_runOperation(const char* what, void (ProjectedViewWidget::*body)(), bool rebuildsScene);
    void m_showNothing();

    void m_setDataProfile(DataProfile* profile);
    void m_addStatisticHUD();
    void m_setupColorMapSelectionUI();
    void m_deleteOverlays();
    // Empties the level and graph lists without running their slots.
    void m_clearClusteringLists();

    ProjectedViewScene m_scene;
    QPointer<DataProfile> m_profile;
    DataOperationController* m_controller = nullptr;
    ColorMapHUD* m_colorMapHUD = nullptr;
    ShowStatisticHUD* m_statisticHUD = nullptr;
    QTimer m_rangeTimer;
    // The button of the colouring the points show; null while they show none.
    QAbstractButton* m_shownColouring = nullptr;
};

}  // namespace Zelvo
