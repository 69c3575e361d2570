#pragma once

#include <QDialog>
#include <QPoint>
#include <memory>

#include "edit/MapDocument.h"
#include "tiles/TileEdit.h"

class QLabel;
class QPushButton;

namespace mapeditor {
class MapPreview;
class SubPaletteView;
class TileCanvas;
class TileSheetMarks;
class ValueBar;
} // namespace mapeditor

// "Tiles": the tiles of the current map's graphics set, edited pixel by pixel, their
// sub-palettes and the map palette. Every change goes to a working copy of the image; OK
// (Enter) takes the tile data over into the document, which tells every view, and the map
// editor's Save writes it. Cancel (Esc) drops it, asking first when there is something to
// lose. Painting changes a pattern, so every tile drawing it changes with it: the window
// marks those tiles, and Make Unique gives the tile patterns of its own.
class CTilesDlg : public QDialog {
    Q_OBJECT
  public:
    // Opens on `tile` of the document's current map; `view` is the top-left cell of the
    // map editor's view, which the map preview shows with what lies around it.
    CTilesDlg(edit::MapDocument& doc, int tile, edit::Cell view, QWidget* parent = nullptr);
    ~CTilesDlg() override;

    const tiles::TileEdit& Edit() const { return *edit; }
    int GraphicsSet() const { return edit->Set(); }
    int SelectedTile() const { return selected; }
    int Value() const { return value; }
    void SelectTile(int tile);
    void SetValue(int value);

    mapeditor::TileSheetMarks* Sheet() const { return sheet; }
    mapeditor::TileCanvas* Canvas() const { return canvas; }
    mapeditor::ValueBar* Values() const { return values; }
    mapeditor::SubPaletteView* SubPalettes() const { return subPalettes; }
    mapeditor::MapPreview* Preview() const { return preview; }
    QPushButton* MakeUniqueButton() const { return makeUnique; }
    QPushButton* OkButton() const { return okButton; }
    QPushButton* CancelButton() const { return cancelButton; }
    // "pattern g: used by N tiles" for the quarter under the pointer.
    QString HoverText() const;
    // What the last action did or why it did nothing.
    QString MessageText() const;

    void MakeUnique();
    void Undo();
    void Redo();
    // Fills from the pixel under the pointer, else from the pixel last painted or picked.
    void Fill();

    // The window's question before changes are dropped.
    static QString DiscardQuestion();

  public slots:
    void accept() override;
    void reject() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Paint(int x, int y);
    void Pick(int x, int y);
    void Hover(int x, int y);
    void ClickRow(int row);
    void ChangeEntry(int index);
    // Draws again the tiles of this set in `changed`, and everything about the selected one.
    void Show(const tiles::SetTiles& changed);
    void ShowSelected();
    void UpdateMarks();
    void UpdateButtons();
    void Say(const QString& text);

    edit::MapDocument& doc;
    std::unique_ptr<tiles::TileEdit> edit;
    int selected;
    int value = 1;
    QPoint lastPixel{0, 0};
    // The sub-palette the last press on a row gave, so a double-click (whose first press
    // that was) can take it back: a double-click changes a colour only.
    bool rowClickChanged = false;

    mapeditor::TileSheetMarks* sheet;
    mapeditor::TileCanvas* canvas;
    mapeditor::ValueBar* values;
    mapeditor::SubPaletteView* subPalettes;
    mapeditor::MapPreview* preview;
    QLabel* tileLabel;
    QLabel* hoverLabel;
    QLabel* messageLabel;
    QPushButton* makeUnique;
    QPushButton* undoButton;
    QPushButton* redoButton;
    QPushButton* okButton;
    QPushButton* cancelButton;
};

// Runs the window modally over `doc`, as the map windows open it.
void OpenTilesWindow(QWidget* parent, edit::MapDocument& doc, int tile, edit::Cell view);
