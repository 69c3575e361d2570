#pragma once

#include <QDialog>
#include <optional>

#include "gfx/TileRenderer.h"

class QCheckBox;
class QLabel;
class QSpinBox;
class TileSheetView;

namespace mapeditor {

// What Replace asks: the tile to replace, its replacement, and whether only the selection.
struct ReplaceChoice {
    int from = 0;
    int to = 0;
    bool inSelection = false;
};

// "Replace Tile": each of the two tiles shown as a picture beside its number. A click in
// the sheet of the map's tiles sets the one that is active (the one last given the focus;
// the tile to replace at first), and setting the tile to replace makes its replacement
// the active one, so two clicks choose both. The numbers can be typed as well.
class CReplaceDlg : public QDialog {
    Q_OBJECT
  public:
    CReplaceDlg(const gfx::MetatilePixels& tiles, const ReplaceChoice& initial, bool hasSelection,
                QWidget* parent = nullptr);
    ~CReplaceDlg() override;
    ReplaceChoice Choice() const;
    TileSheetView* Sheet() const { return sheet; }
    QSpinBox* FromBox() const { return fromBox; }
    QSpinBox* ToBox() const { return toBox; }

  private:
    void Activate(QSpinBox* box);
    void ShowTile(QSpinBox* box);
    void TileClicked(int tile);

    const gfx::MetatilePixels& tiles;
    QSpinBox* fromBox;
    QSpinBox* toBox;
    QLabel* fromPicture;
    QLabel* toPicture;
    TileSheetView* sheet;
    QCheckBox* within;
    QSpinBox* active;
    // Focus moves while the widgets are torn down, after this class has gone: the
    // connection ends with the destructor, not with QObject's.
    QMetaObject::Connection followFocus;
};

// Runs the dialog; nullopt when cancelled.
std::optional<ReplaceChoice> AskReplace(QWidget* parent, const gfx::MetatilePixels& tiles,
                                        const ReplaceChoice& initial, bool hasSelection);

} // namespace mapeditor
