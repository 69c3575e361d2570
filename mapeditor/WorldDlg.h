#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <optional>

#include "edit/MapDocument.h"
#include "mapeditor/ReplaceDlg.h"
#include "mapeditor/TilePalette.h"
#include "mapeditor/WorldCanvas.h"

class QAction;
class QActionGroup;
class QLabel;
class QProgressBar;
class QPushButton;

// The World window: the whole map at any zoom with painting tools, over the same document
// as the map editor, so the grid, the undo history, the selected tile and the budget are
// shared. Closing it keeps every edit in the grid, unstored, as painting in the map
// editor would.
class CWorldDlg : public QDialog {
    Q_OBJECT
  public:
    // Opens at zoom 1 with map cell (scrollX, scrollY) at the canvas's top-left.
    CWorldDlg(edit::MapDocument& doc, int scrollX, int scrollY, QWidget* parent = nullptr);
    ~CWorldDlg() override;

    WorldCanvas* Canvas() const { return canvas; }
    TilePalette* TileSheet() const { return palette; }
    QAction* ToolAction(WorldCanvas::Tool tool) const;
    // The cell the map editor should show at its top-left when this window closes: where
    // it was if the view never moved, else its 16 by 16 cells around the middle of what was
    // last in view here.
    edit::Cell LastTopLeft() const;

    QString CellText() const;
    QString TileText() const;
    QString ZoomText() const;
    QString HighlightText() const;
    QLabel* BudgetLabel() const { return budgetLabel; }
    // Empty until the document drops undo steps to keep its bound.
    QLabel* HistoryLabel() const { return historyLabel; }

    // What Replace asks: the tile to replace, its replacement, and whether only the
    // selection. It starts from the tile under the pointer (the tile to paint with when the
    // pointer is off the map) and the tile to paint with. Tests answer it through
    // SetReplaceFunction.
    using ReplaceChoice = mapeditor::ReplaceChoice;
    using ReplaceFunction = std::function<std::optional<ReplaceChoice>(
        QWidget* parent, const ReplaceChoice& initial, bool hasSelection)>;
    static void SetReplaceFunction(ReplaceFunction fn); // empty restores the real dialog

    void Replace();
    // The Tiles window on `tile` ("Tiles...", T, a double-click in the palette).
    void OpenTiles(int tile);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

  private:
    QAction* AddAction(const QString& text, const QKeySequence& key, const QString& tip);
    // The status bar's parts, each brought up to date when what it shows changed.
    void UpdateZoom();
    void UpdateBudget();
    void UpdateHover(int x, int y);
    void UpdateHighlightCount();
    void UpdateHistory();

    edit::MapDocument& doc;
    WorldCanvas* canvas;
    TilePalette* palette;
    QActionGroup* tools;
    std::array<QAction*, WorldCanvas::ToolCount> toolActions{};
    QLabel* cellLabel;
    QLabel* tileLabel;
    QLabel* zoomLabel;
    QLabel* highlightLabel;
    QLabel* historyLabel;
    QLabel* budgetLabel;
    QProgressBar* budgetBar;
    QPushButton* closeButton;
    // Where the canvas opens, applied once it has its size.
    edit::Cell openedAt;
    bool placed = false;
    bool viewMoved = false;
    int hoverX = -1;
    int hoverY = -1;
};
