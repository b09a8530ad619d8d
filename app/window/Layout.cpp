#include "Layout.h"

#include <QEvent>
#include <QWidget>
#include <algorithm>

TAlignLayout::TAlignLayout(QWidget *container, QSize designSize, int bevel)
    : QObject(container)
    , FContainer(container)
    , FDesignSize(designSize)
    , FBevel(bevel)
{
    container->installEventFilter(this);
}

void TAlignLayout::AddAligned(QWidget *control, QRect design, TAlign align)
{
    FItems.push_back({ control, design, align, {}, false });
}

void TAlignLayout::AddAnchored(QWidget *control, QRect design, Qt::Edges anchors, bool autoSize)
{
    FItems.push_back({ control, design, TAlign::None, anchors, autoSize });
}

namespace {

// One axis of an anchored control: start and length for a container grown by delta.
void anchorAxis(int &start, int &length, int delta, bool nearEdge, bool farEdge)
{
    if (nearEdge && farEdge)
        length = std::max(0, length + delta);
    else if (farEdge)
        start += delta;
    else if (!nearEdge)
        start += delta / 2;
}

} // namespace

void TAlignLayout::Apply()
{
    QRect free = FContainer->rect().adjusted(FBevel, FBevel, -FBevel, -FBevel);
    // Sides are served in a fixed order, each taking its strip from what is left.
    for (TAlign side :
        { TAlign::Top, TAlign::Bottom, TAlign::Left, TAlign::Right, TAlign::Client }) {
        for (const TItem &item : FItems) {
            if (item.Align != side)
                continue;
            QRect r;
            const int w = std::min(item.Design.width(), std::max(0, free.width()));
            const int h = std::min(item.Design.height(), std::max(0, free.height()));
            switch (side) {
            case TAlign::Top:
                r = QRect(free.left(), free.top(), free.width(), h);
                free.setTop(free.top() + h);
                break;
            case TAlign::Bottom:
                r = QRect(free.left(), free.bottom() + 1 - h, free.width(), h);
                free.setBottom(free.bottom() - h);
                break;
            case TAlign::Left:
                r = QRect(free.left(), free.top(), w, free.height());
                free.setLeft(free.left() + w);
                break;
            case TAlign::Right:
                r = QRect(free.right() + 1 - w, free.top(), w, free.height());
                free.setRight(free.right() - w);
                break;
            default:
                r = free;
                break;
            }
            item.Control->setGeometry(r.normalized());
        }
    }

    const int dx = FContainer->width() - FDesignSize.width();
    const int dy = FContainer->height() - FDesignSize.height();
    for (const TItem &item : FItems) {
        if (item.Align != TAlign::None)
            continue;
        int x = item.Design.x(), w = item.Design.width();
        int y = item.Design.y(), h = item.Design.height();
        anchorAxis(x, w, dx, item.Anchors & Qt::LeftEdge, item.Anchors & Qt::RightEdge);
        anchorAxis(y, h, dy, item.Anchors & Qt::TopEdge, item.Anchors & Qt::BottomEdge);
        if (item.AutoSize) {
            const QSize hint = item.Control->sizeHint();
            w = hint.width();
            h = hint.height();
        }
        item.Control->setGeometry(x, y, w, h);
    }
    if (AfterApply)
        AfterApply();
}

bool TAlignLayout::eventFilter(QObject *watched, QEvent *event)
{
    // A label that changed its text asks its parent for a new layout.
    if (watched == FContainer
        && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest))
        Apply();
    return QObject::eventFilter(watched, event);
}
