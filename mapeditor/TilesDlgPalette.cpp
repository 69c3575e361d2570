#include "mapeditor/TilesDlgPalette.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <functional>

#include "gfx/TileRenderer.h"

namespace mapeditor {

namespace {

// Dark text on light colours, light on dark.
QColor TextOn(uint32_t argb) {
    const QColor c = QColor::fromRgb(argb);
    return c.lightness() > 128 ? Qt::black : Qt::white;
}

// The 64 colours; says which was pressed and which double-clicked.
class ColourGrid : public QWidget {
  public:
    ColourGrid(const CRomImage& r, QWidget* parent) : QWidget(parent), rom(r) {
        setFixedSize(16 * CNesColourDlg::Swatch + 1, 4 * CNesColourDlg::Swatch + 1);
        setCursor(Qt::PointingHandCursor);
    }
    std::function<void(int)> pressed;
    std::function<void(int)> doubleClicked;
    int marked = 0;

  protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter p(this);
        constexpr int s = CNesColourDlg::Swatch;
        for (int c = 0; c < 64; ++c) {
            const QRect r(c % 16 * s, c / 16 * s, s, s);
            const uint32_t argb = gfx::ToArgb(rom.ColourTable[c]);
            p.fillRect(r, QColor::fromRgb(argb));
            if (c == marked) {
                p.setPen(QPen(TextOn(argb), 2));
                p.drawRect(r.adjusted(2, 2, -2, -2));
            }
        }
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (const int c = At(event); c >= 0 && pressed) {
            pressed(c);
        }
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (const int c = At(event); c >= 0 && doubleClicked) {
            doubleClicked(c);
        }
    }

  private:
    static int At(QMouseEvent* event) {
        // Not QPoint's division, which rounds to the nearest.
        const QPoint p = event->position().toPoint();
        const int x = p.x() / CNesColourDlg::Swatch;
        const int y = p.y() / CNesColourDlg::Swatch;
        return p.x() >= 0 && x < 16 && p.y() >= 0 && y < 4 ? y * 16 + x : -1;
    }
    const CRomImage& rom;
};

} // namespace

// ----- ValueBar -----

ValueBar::ValueBar(QWidget* parent) : QWidget(parent) {
    setFixedSize(sizeHint());
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("The value to paint with: keys 1 to 4; right-click a pixel to take "
                              "its value"));
}

void ValueBar::SetColours(const std::array<uint32_t, 4>& c) {
    colours = c;
    update();
}

void ValueBar::SetValue(int v) {
    value = v;
    update();
}

void ValueBar::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    for (int v = 0; v < 4; ++v) {
        const QRect r(v * SwatchWidth, 0, SwatchWidth, SwatchHeight);
        const uint32_t argb = colours[static_cast<std::size_t>(v)];
        p.fillRect(r.adjusted(2, 2, -2, -2), QColor::fromRgb(argb));
        p.setPen(TextOn(argb));
        p.drawText(r, Qt::AlignCenter, QString::number(v + 1));
        if (v == value) {
            p.setPen(QPen(palette().highlight().color(), 3));
            p.drawRect(r.adjusted(1, 1, -2, -2));
        }
    }
}

void ValueBar::mousePressEvent(QMouseEvent* event) {
    const int v = event->position().toPoint().x() / SwatchWidth;
    if (v >= 0 && v < 4) {
        emit ValueClicked(v);
    }
}

// ----- SubPaletteView -----

SubPaletteView::SubPaletteView(QWidget* parent) : QWidget(parent) {
    setFixedSize(sizeHint());
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("Click a row to give the tile that sub-palette; double-click a "
                              "colour to change it"));
}

void SubPaletteView::SetPalette(const std::array<uint32_t, 16>& c, int r) {
    colours = c;
    row = r;
    update();
}

void SubPaletteView::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    for (int i = 0; i < 16; ++i) {
        const QRect r(LabelWidth + i % 4 * Swatch, i / 4 * Swatch, Swatch, Swatch);
        p.fillRect(r.adjusted(1, 1, -1, -1), QColor::fromRgb(colours[static_cast<std::size_t>(i)]));
    }
    for (int k = 0; k < 4; ++k) {
        p.setPen(palette().windowText().color());
        p.drawText(QRect(0, k * Swatch, LabelWidth - 4, Swatch), Qt::AlignVCenter | Qt::AlignLeft,
                   QStringLiteral("Sub-palette %1").arg(k));
    }
    p.setPen(QPen(palette().highlight().color(), 2));
    p.drawRect(QRect(1, row * Swatch + 1, LabelWidth + 4 * Swatch - 1, Swatch - 1));
}

void SubPaletteView::mousePressEvent(QMouseEvent* event) {
    const int r = event->position().toPoint().y() / Swatch;
    if (event->button() == Qt::LeftButton && r >= 0 && r < 4) {
        emit RowClicked(r);
    }
}

void SubPaletteView::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    const int column = (p.x() - LabelWidth) / Swatch;
    const int r = p.y() / Swatch;
    if (event->button() == Qt::LeftButton && p.x() >= LabelWidth && column < 4 && r >= 0 && r < 4) {
        emit EntryDoubleClicked(r * 4 + column);
    }
}

// ----- CNesColourDlg -----

CNesColourDlg::CNesColourDlg(const CRomImage& rom, int current, const QString& title,
                             QWidget* parent)
    : QDialog(parent), label(new QLabel(this)), colour(current) {
    setWindowTitle(title);
    auto* colours = new ColourGrid(rom, this);
    grid = colours;
    colours->pressed = [this](int c) { Choose(c); };
    colours->doubleClicked = [this](int c) {
        Choose(c);
        accept();
    };
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid);
    layout->addWidget(label);
    layout->addWidget(buttons);
    Choose(current);
}

void CNesColourDlg::Choose(int c) {
    colour = c;
    static_cast<ColourGrid*>(grid)->marked = c;
    grid->update();
    label->setText(QStringLiteral("NES colour %1 (0x%2)").arg(c).arg(c, 2, 16, QLatin1Char('0')));
}

std::optional<int> ChooseNesColour(QWidget* parent, const CRomImage& rom, int current,
                                   const QString& title) {
    CNesColourDlg dialog(rom, current, title, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.Colour();
}

} // namespace mapeditor
