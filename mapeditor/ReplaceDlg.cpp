#include "mapeditor/ReplaceDlg.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QSpinBox>

#include "mapeditor/TilePalette.h"
#include "worldmap/RowCode.h"

namespace mapeditor {

namespace {

// Tiles shown beside their numbers at twice their size, to tell them apart at a glance.
constexpr int PictureScale = 2;

} // namespace

CReplaceDlg::CReplaceDlg(const gfx::MetatilePixels& t, const ReplaceChoice& initial,
                         bool hasSelection, QWidget* parent)
    : QDialog(parent), tiles(t), fromBox(new QSpinBox(this)), toBox(new QSpinBox(this)),
      fromPicture(new QLabel(this)), toPicture(new QLabel(this)), sheet(new TileSheetView(this)),
      within(new QCheckBox(QStringLiteral("Only in the selection"), this)), active(fromBox) {
    setWindowTitle(QStringLiteral("Replace Tile"));
    auto* grid = new QGridLayout;
    const std::pair<QSpinBox*, QLabel*> rows[] = {{fromBox, fromPicture}, {toBox, toPicture}};
    const QString names[] = {QStringLiteral("Replace tile:"), QStringLiteral("With tile:")};
    for (int row = 0; row < 2; ++row) {
        auto [box, picture] = rows[row];
        box->setRange(0, worldmap::MaxTile);
        box->setValue(row == 0 ? initial.from : initial.to);
        picture->setFixedSize(gfx::TileSize * PictureScale, gfx::TileSize * PictureScale);
        grid->addWidget(new QLabel(names[row], this), row, 0);
        grid->addWidget(picture, row, 1);
        grid->addWidget(box, row, 2);
        ShowTile(box);
        connect(box, &QSpinBox::valueChanged, this, [this, box = box] {
            ShowTile(box);
            if (box == active) {
                sheet->SetMarked(box->value());
            }
        });
    }
    within->setEnabled(hasSelection);
    within->setChecked(hasSelection && initial.inSelection);
    sheet->setToolTip(QStringLiteral("Click the tile to replace, then the tile to put there"));
    sheet->SetTiles(tiles);
    connect(sheet, &TileSheetView::TileClicked, this, &CReplaceDlg::TileClicked);
    // The active tile follows the focus, however it moved there.
    followFocus = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        for (QSpinBox* box : {fromBox, toBox}) {
            if (now != nullptr && (now == box || box->isAncestorOf(now))) {
                Activate(box);
            }
        }
    });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(sheet, 0, Qt::AlignHCenter);
    layout->addWidget(within);
    layout->addWidget(buttons);
    fromBox->setFocus();
    Activate(fromBox);
}

CReplaceDlg::~CReplaceDlg() {
    disconnect(followFocus);
}

ReplaceChoice CReplaceDlg::Choice() const {
    return {fromBox->value(), toBox->value(), within->isChecked()};
}

void CReplaceDlg::Activate(QSpinBox* box) {
    active = box;
    sheet->SetMarked(box->value());
}

void CReplaceDlg::ShowTile(QSpinBox* box) {
    const auto& tile = tiles[static_cast<std::size_t>(box->value())];
    QImage image(gfx::TileSize, gfx::TileSize, QImage::Format_RGB32);
    for (int i = 0; i < gfx::TileSize * gfx::TileSize; ++i) {
        image.setPixel(i % gfx::TileSize, i / gfx::TileSize,
                       gfx::ToArgb(tile[static_cast<std::size_t>(i)]));
    }
    QLabel* picture = box == fromBox ? fromPicture : toPicture;
    picture->setPixmap(QPixmap::fromImage(image.scaled(picture->size())));
    picture->setToolTip(QStringLiteral("tile %1").arg(box->value()));
}

void CReplaceDlg::TileClicked(int tile) {
    QSpinBox* box = active;
    box->setValue(tile);
    if (box == fromBox) {
        toBox->setFocus();
        Activate(toBox);
    }
}

std::optional<ReplaceChoice> AskReplace(QWidget* parent, const gfx::MetatilePixels& tiles,
                                        const ReplaceChoice& initial, bool hasSelection) {
    CReplaceDlg dialog(tiles, initial, hasSelection, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.Choice();
}

} // namespace mapeditor
