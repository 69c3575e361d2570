#pragma once

#include <QColor>
#include <QString>

#include "worldmap/WorldMap.h"

class QLabel;
class QProgressBar;

// What storing the grid would take, shown the same way in every window that edits maps.
namespace mapeditor {

inline const QColor OverBudgetColour{192, 0, 0};

// "Needs N of M" (bytes the coded map takes, bytes it may take), or "Cannot store" when
// the map cannot be coded or the region cannot be rewritten. Short enough for the map
// editor's label at its longest.
QString BudgetText(const worldmap::StoreReport& budget);
// Storing now would be refused: too big, or not storable at all.
bool BudgetOver(const worldmap::StoreReport& budget);
// Puts the budget into `label`, red when over, and into `bar` if there is one: filled to
// the needed size out of the room, red when over.
void ShowBudget(const worldmap::StoreReport& budget, QLabel& label, QProgressBar* bar = nullptr);

} // namespace mapeditor
