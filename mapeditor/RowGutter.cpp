#include "mapeditor/RowGutter.h"

#include <QHelpEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

#include "mapeditor/WorldCanvas.h"

RowGutter::RowGutter(const WorldCanvas& c, QWidget* parent) : QWidget(parent), canvas(c) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QString RowGutter::TextAt(int y) const {
    // The gutter's rows line up with the viewport's.
    const int row = canvas.CellAt(QPoint(0, y)).y;
    if (row < 0 || row >= worldmap::MapHeight) {
        return {};
    }
    const edit::RowCosts& costs = canvas.Document().Costs();
    const int shares = costs.SharesWith(row);
    if (shares >= 0) {
        return QStringLiteral("row %1: shares row %2").arg(row).arg(shares);
    }
    return QStringLiteral("row %1: %2 bytes").arg(row).arg(costs.Cost(row));
}

void RowGutter::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), palette().window());
    const int cp = canvas.CellPixels();
    const int originY = canvas.Origin().y();
    const edit::RowCosts& costs = canvas.Document().Costs();
    const int scale = std::max(costs.MaxCost(), 16);
    // Rows tall enough for a number keep room for it right of the bars.
    const bool numbers = cp >= 16;
    const int barRoom = width() - (numbers ? 28 : 6);
    const int first = std::max(0, canvas.CellAt(QPoint(0, event->rect().top())).y);
    const int last =
        std::min(worldmap::MapHeight - 1, canvas.CellAt(QPoint(0, event->rect().bottom())).y);
    const QColor bar(70, 110, 200);
    const QColor shared(160, 160, 160);
    QFont small = font();
    small.setPixelSize(std::min(cp - 2, 11));
    p.setFont(small);
    for (int row = first; row <= last; ++row) {
        const int y = row * cp - originY;
        const int h = std::max(cp - 1, 1);
        if (costs.SharesWith(row) >= 0) {
            // Costs nothing: a short grey tick says so, and the row it shares where there is
            // room to write it.
            p.fillRect(QRect(2, y + h / 2, 6, std::max(h / 4, 1)), shared);
            if (numbers) {
                p.setPen(shared.darker(150));
                p.drawText(QRect(10, y, width() - 12, h), Qt::AlignVCenter | Qt::AlignRight,
                           QStringLiteral("=%1").arg(costs.SharesWith(row)));
            }
            continue;
        }
        const int w = std::max(1, costs.Cost(row) * barRoom / scale);
        p.fillRect(QRect(2, y, w, h), bar);
        if (numbers) {
            p.setPen(palette().windowText().color());
            p.drawText(QRect(width() - 26, y, 24, h), Qt::AlignVCenter | Qt::AlignRight,
                       QString::number(costs.Cost(row)));
        }
    }
}

bool RowGutter::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = TextAt(help->pos().y());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, this);
        }
        return true;
    }
    return QWidget::event(event);
}
