#pragma once

#include <QDialog>
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>

#include "rom/RomImage.h"

class QLabel;

// The Tiles window's colour parts: the pixel values, the map palette and the NES colours.
namespace mapeditor {

// The four pixel values as the tile's four colours, numbered 1 to 4 as their keys; the
// current one outlined. A click chooses.
class ValueBar : public QWidget {
    Q_OBJECT
  public:
    static constexpr int SwatchWidth = 44;
    static constexpr int SwatchHeight = 32;
    explicit ValueBar(QWidget* parent = nullptr);
    // 0xAARRGGBB.
    void SetColours(const std::array<uint32_t, 4>& colours);
    void SetValue(int value);
    int Value() const { return value; }
    static QPoint SwatchCentre(int value) {
        return {value * SwatchWidth + SwatchWidth / 2, SwatchHeight / 2};
    }
    QSize sizeHint() const override { return {4 * SwatchWidth, SwatchHeight}; }

  signals:
    void ValueClicked(int value);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    std::array<uint32_t, 4> colours{};
    int value = 0;
};

// The map palette: four rows of four colours, the tile's row framed. A press on a row says
// which row; a double-click on a colour says which entry (0 to 15).
class SubPaletteView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int LabelWidth = 90;
    static constexpr int Swatch = 28;
    explicit SubPaletteView(QWidget* parent = nullptr);
    // 0xAARRGGBB, entry 4 * row + value.
    void SetPalette(const std::array<uint32_t, 16>& colours, int row);
    int Row() const { return row; }
    static QPoint EntryCentre(int index) {
        return {LabelWidth + index % 4 * Swatch + Swatch / 2, index / 4 * Swatch + Swatch / 2};
    }
    QSize sizeHint() const override { return {LabelWidth + 4 * Swatch + 2, 4 * Swatch + 2}; }

  signals:
    void RowClicked(int row);
    void EntryDoubleClicked(int index);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    std::array<uint32_t, 16> colours{};
    int row = 0;
};

// The 64 NES colours in four rows of sixteen, drawn through the image's colour table; a
// click chooses one, a double-click (or OK) takes it.
class CNesColourDlg : public QDialog {
    Q_OBJECT
  public:
    static constexpr int Swatch = 28;
    CNesColourDlg(const CRomImage& rom, int current, const QString& title,
                  QWidget* parent = nullptr);
    int Colour() const { return colour; }
    QWidget* Grid() const { return grid; }
    static QPoint SwatchCentre(int colour) {
        return {colour % 16 * Swatch + Swatch / 2, colour / 16 * Swatch + Swatch / 2};
    }

  private:
    void Choose(int c);

    QWidget* grid;
    QLabel* label;
    int colour;
};

// Runs the chooser; nullopt when cancelled.
std::optional<int> ChooseNesColour(QWidget* parent, const CRomImage& rom, int current,
                                   const QString& title);

} // namespace mapeditor
