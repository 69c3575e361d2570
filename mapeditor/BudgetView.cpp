#include "mapeditor/BudgetView.h"

#include <QLabel>
#include <QPalette>
#include <QProgressBar>
#include <algorithm>

namespace mapeditor {

QString BudgetText(const worldmap::StoreReport& budget) {
    if (budget.status == worldmap::StoreStatus::BadLayout ||
        budget.status == worldmap::StoreStatus::BadTile) {
        return QStringLiteral("Cannot store");
    }
    return QStringLiteral("Needs %1 of %2").arg(budget.newSize).arg(budget.available);
}

bool BudgetOver(const worldmap::StoreReport& budget) {
    return budget.status != worldmap::StoreStatus::Stored;
}

void ShowBudget(const worldmap::StoreReport& budget, QLabel& label, QProgressBar* bar) {
    const bool over = BudgetOver(budget);
    label.setText(BudgetText(budget));
    // An empty palette sets nothing: the label takes its window's colours again.
    QPalette palette;
    if (over) {
        palette.setColor(QPalette::WindowText, OverBudgetColour);
    }
    label.setPalette(palette);
    if (bar != nullptr) {
        bar->setRange(0, std::max({budget.available, budget.newSize, 1}));
        bar->setValue(std::max(0, budget.newSize));
        bar->setStyleSheet(over ? QStringLiteral("QProgressBar::chunk { background: %1; }")
                                      .arg(OverBudgetColour.name())
                                : QString());
    }
}

} // namespace mapeditor
