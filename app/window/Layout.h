#pragma once

#include <QObject>
#include <QRect>
#include <QSize>
#include <functional>
#include <vector>

class QWidget;

// Which side of its container a control sticks to; Client takes what the others leave.
enum class TAlign { None, Top, Bottom, Left, Right, Client };

// Places the children of one container from their design rectangles whenever the container's
// size changes. An aligned child is stacked against its side inside the container's bevel;
// any other child keeps its distances to the edges it is anchored to. Controls that size
// themselves to their contents (labels) take their size hint at their anchored place.
class TAlignLayout : public QObject {
public:
    TAlignLayout(QWidget *container, QSize designSize, int bevel);

    void AddAligned(QWidget *control, QRect design, TAlign align);
    void AddAnchored(QWidget *control, QRect design, Qt::Edges anchors, bool autoSize = false);

    // Places every child for the container's present size.
    void Apply();
    // Runs after each placing, for a control that moves the others aside while it is shown.
    std::function<void()> AfterApply;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct TItem {
        QWidget *Control;
        QRect Design;
        TAlign Align;
        Qt::Edges Anchors;
        bool AutoSize;
    };
    QWidget *FContainer;
    QSize FDesignSize;
    int FBevel;
    std::vector<TItem> FItems;
};
