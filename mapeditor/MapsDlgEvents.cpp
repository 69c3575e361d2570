#include "mapeditor/MapsDlg.h"

#include <QHelpEvent>
#include <QToolTip>
#include <QWheelEvent>
#include <cstdlib>

#include "mapeditor/TilesDlg.h"

// The map view's wheel and hover, and the chooser's double-click: Qt events the window
// framework has no handler for.

void CMapsDlg::wheelEvent(QWheelEvent* event) {
    const QPoint at = event->position().toPoint();
    if (!MapViewRect.PtInRect(at)) {
        CDialog::wheelEvent(event);
        return;
    }
    event->accept();
    const QPoint angle = event->angleDelta();
    // Shift turns the wheel sideways; a tilting wheel reports sideways motion as x.
    const bool sideways = (event->modifiers() & Qt::ShiftModifier) || angle.y() == 0;
    const int notches = WheelSteps.Take(angle.y() != 0 ? angle.y() : angle.x());
    for (int i = 0; i < std::abs(notches); ++i) {
        const int code = notches > 0 ? SB_LINEUP : SB_LINEDOWN;
        if (sideways) {
            OnHScroll(code, 0, IdcHorzScroll);
        } else {
            OnVScroll(code, 0, IdcVertScroll);
        }
    }
}

bool CMapsDlg::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (MapViewRect.PtInRect(help->pos())) {
            const QPoint v = ViewCellAt(help->pos());
            const int vx = v.x();
            const int vy = v.y();
            const QRect cell(MapViewRect.left + CellSize * vx, MapViewRect.top + CellSize * vy,
                             CellSize, CellSize);
            const int tile = Doc->At(MapCellAt(vx, vy));
            QToolTip::showText(
                help->globalPos(),
                QString::asprintf("x %d, y %d: tile %d", ScrollX + vx, ScrollY + vy, tile), this,
                cell);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return CDialog::event(event);
}

void CMapsDlg::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton || !TileChooserRect.PtInRect(at)) {
        // Elsewhere a double-click is a second press, as before.
        CDialog::mouseDoubleClickEvent(event);
        return;
    }
    event->accept();
    StopDragging();
    Doc->SetSelectedTile(ChooserTileAt(at));
    OpenTilesWindow(this, *Doc, SelectedTile(), MapCellAt(0, 0));
}
