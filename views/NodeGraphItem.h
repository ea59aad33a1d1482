#pragma once

#include "GraphModel.h"
#include "ItemTypes.h"

#include <QBrush>
#include <QGraphicsItem>
#include <QPen>

#include <memory>
#include <utility>
#include <vector>

namespace Zelvo {

class ClusterNodeItem;

// The lines of a neighbourhood graph between cluster-node items: edge (a, b) joins the a-th and
// b-th item of the scene's node list, following dragged nodes. Edges naming an item that is not
// there are skipped. Owns the graph.
class NodeGraphItem : public QGraphicsItem {
public:
    enum { Type = NodeGraphItemType };

    // nodeItems is the scene's list and must outlive the item.
    NodeGraphItem(std::vector<ClusterNodeItem*>* nodeItems, std::unique_ptr<GraphModel<float>> graph);
    ~NodeGraphItem() override;

    int type() const override { return Type; }
    // Encloses every line, so the graph is painted wherever it shows.
    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    GraphModel<float>* GetGraph() const { return m_graph.get(); }

private:
    template <typename F>
    void m_forEachLine(F&& f) const;

    std::vector<ClusterNodeItem*>* m_nodeItems;
    std::unique_ptr<GraphModel<float>> m_graph;
    QPen m_pen;
    QBrush m_brush;
};

}  // namespace Zelvo
