#pragma once

#include <QString>
#include <QWidget>

class WorldCanvas;

// The bars beside the canvas's rows: what each row costs when the map is stored.
class RowGutter : public QWidget {
    Q_OBJECT
  public:
    static constexpr int Width = 56;
    // The gutter needs rows at least this tall to be read.
    static constexpr int MinCellPixels = 8;
    RowGutter(const WorldCanvas& canvas, QWidget* parent);
    // "row R: N bytes" or "row R: shares row J" for the row at gutter height `y`, or empty.
    QString TextAt(int y) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

  private:
    const WorldCanvas& canvas;
};
