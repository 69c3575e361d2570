#pragma once

#include <QDialog>
#include <QImage>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

#include "edit/MapDocument.h"
#include "gfx/TileRenderer.h"
#include "mapeditor/WorldCanvas.h"

class QAction;
class QActionGroup;
class QLabel;
class QProgressBar;
class QPushButton;

// The current map's 128 tiles as the map editor's chooser lays them out, 16 to a row;
// a click chooses the tile to paint with.
class TilePalette : public QWidget {
    Q_OBJECT
  public:
    static constexpr int TilePixels = 16;
    static constexpr int Columns = 16;
    TilePalette(edit::MapDocument& doc, QWidget* parent = nullptr);
    void SetTiles(const gfx::MetatilePixels& tiles);
    // Centre of tile `tile` in this widget.
    static QPoint TileCentre(int tile);
    QSize sizeHint() const override;

  signals:
    void TileChosen();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    edit::MapDocument& doc;
    QImage sheet;
};

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
    TilePalette* Palette() const { return palette; }
    QAction* ToolAction(WorldCanvas::Tool tool) const;
    // The cell the map editor should show at its top-left when this window closes: where
    // it was if the view never moved, else its 16 by 16 cells around the middle of what was
    // last in view here.
    edit::Cell LastTopLeft() const;

    QString CellText() const;
    QString TileText() const;
    QString ZoomText() const;
    QString BudgetText() const;
    QString HighlightText() const;
    bool BudgetOver() const;

    // What Replace asks: the tile to replace, its replacement, and whether only the
    // selection. Tests answer it through SetReplaceFunction.
    struct ReplaceChoice {
        int from = 0;
        int to = 0;
        bool inSelection = false;
    };
    using ReplaceFunction = std::function<std::optional<ReplaceChoice>(
        QWidget* parent, const ReplaceChoice& initial, bool hasSelection)>;
    static void SetReplaceFunction(ReplaceFunction fn); // empty restores the real dialog

    void Undo();
    void Redo();
    void Replace();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

  private:
    QAction* AddAction(const QString& text, const QKeySequence& key, const QString& tip);
    // After the document changed `rows` other than through the canvas's own tools.
    void GridChanged(const edit::RowSet& rows);
    void UpdateStatus();
    void UpdateHover(int x, int y);
    void UpdateHighlightCount();

    edit::MapDocument& doc;
    WorldCanvas* canvas;
    TilePalette* palette;
    QActionGroup* tools;
    std::array<QAction*, WorldCanvas::ToolCount> toolActions{};
    QLabel* cellLabel;
    QLabel* tileLabel;
    QLabel* zoomLabel;
    QLabel* highlightLabel;
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
