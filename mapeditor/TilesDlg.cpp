#include "mapeditor/TilesDlg.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include "app/Platform.h"
#include "gfx/TileRenderer.h"
#include "mapeditor/TilesDlgPalette.h"
#include "mapeditor/TilesDlgViews.h"
#include "worldmap/WorldMap.h"

using namespace mapeditor;

namespace {

std::size_t U(int value) {
    return static_cast<std::size_t>(value);
}

// "Water World Map and Standard World Map".
QString MapNames(const std::vector<int>& maps) {
    QStringList names;
    for (int map : maps) {
        names << QString::fromLatin1(worldmap::MapName(map));
    }
    if (names.size() < 2) {
        return names.join(QString());
    }
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

tiles::SetTiles AllTiles() {
    tiles::SetTiles all{};
    for (tiles::TileMask& set : all) {
        set.set();
    }
    return all;
}

} // namespace

CTilesDlg::CTilesDlg(edit::MapDocument& d, int tile, edit::Cell view, QWidget* parent)
    : QDialog(parent), doc(d),
      edit(std::make_unique<tiles::TileEdit>(d.Rom(), gfx::GraphicsSetOf(d.MapId()))),
      selected(std::clamp(tile, 0, tiles::TileCount - 1)), sheet(new TileSheetMarks(this)),
      canvas(new TileCanvas(this)), values(new ValueBar(this)),
      subPalettes(new SubPaletteView(this)), preview(new MapPreview(d.MapGrid(), view, this)),
      tileLabel(new QLabel(this)), hoverLabel(new QLabel(this)), messageLabel(new QLabel(this)),
      makeUnique(new QPushButton(QStringLiteral("Make &Unique"), this)),
      undoButton(new QPushButton(QStringLiteral("Undo"), this)),
      redoButton(new QPushButton(QStringLiteral("Redo"), this)),
      okButton(new QPushButton(QStringLiteral("OK"), this)),
      cancelButton(new QPushButton(QStringLiteral("Cancel"), this)) {
    setWindowTitle(QStringLiteral("Tiles"));
    setSizeGripEnabled(true);

    const int set = edit->Set();
    auto* left = new QVBoxLayout;
    auto* about = new QLabel(QStringLiteral("Graphics set %1, drawn on %2. Tiles 0 to 63 are "
                                            "shared by all maps, patterns 0 to 127 by all sets.")
                                 .arg(set)
                                 .arg(MapNames(tiles::MapsOfSet(set))),
                             this);
    about->setWordWrap(true);
    about->setMaximumWidth(sheet->width());
    left->addWidget(about);
    left->addWidget(sheet);
    left->addSpacing(8);
    left->addWidget(new QLabel(QStringLiteral("Map"), this));
    left->addWidget(preview);
    left->addStretch(1);

    auto* right = new QVBoxLayout;
    right->addWidget(tileLabel);
    right->addWidget(canvas);
    right->addWidget(values);
    right->addWidget(hoverLabel);
    right->addSpacing(6);
    right->addWidget(
        new QLabel(QStringLiteral("Palette (double-click a colour to change it)"), this));
    right->addWidget(subPalettes);
    auto* steps = new QHBoxLayout;
    for (QPushButton* button : {makeUnique, undoButton, redoButton}) {
        button->setAutoDefault(false);
        steps->addWidget(button);
    }
    makeUnique->setToolTip(QStringLiteral("Give the tile its own copy of every pattern it shares, "
                                          "in free patterns (U)"));
    undoButton->setToolTip(QStringLiteral("Undo (Ctrl+Z)"));
    redoButton->setToolTip(QStringLiteral("Redo (Ctrl+Y)"));
    redoButton->setObjectName(QStringLiteral("redo"));
    right->addLayout(steps);
    messageLabel->setWordWrap(true);
    messageLabel->setMinimumWidth(TileCanvas::Side);
    right->addWidget(messageLabel);
    right->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    okButton->setDefault(true);
    cancelButton->setAutoDefault(false);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    right->addLayout(buttons);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addSpacing(12);
    layout->addLayout(right, 1);
    for (QLabel* label : {tileLabel, hoverLabel, messageLabel}) {
        label->setTextInteractionFlags(Qt::NoTextInteraction);
    }

    connect(sheet, &TileSheetMarks::TileClicked, this, &CTilesDlg::SelectTile);
    connect(canvas, &TileCanvas::Painted, this, &CTilesDlg::Paint);
    connect(canvas, &TileCanvas::StrokeEnded, this, [this] {
        edit->EndStroke();
        UpdateButtons();
    });
    connect(canvas, &TileCanvas::Picked, this, &CTilesDlg::Pick);
    connect(canvas, &TileCanvas::HoverChanged, this, &CTilesDlg::Hover);
    connect(values, &ValueBar::ValueClicked, this, &CTilesDlg::SetValue);
    connect(subPalettes, &SubPaletteView::RowClicked, this, &CTilesDlg::ClickRow);
    connect(subPalettes, &SubPaletteView::EntryDoubleClicked, this, &CTilesDlg::ChangeEntry);
    connect(makeUnique, &QPushButton::clicked, this, &CTilesDlg::MakeUnique);
    connect(undoButton, &QPushButton::clicked, this, &CTilesDlg::Undo);
    connect(redoButton, &QPushButton::clicked, this, &CTilesDlg::Redo);
    connect(okButton, &QPushButton::clicked, this, &CTilesDlg::accept);
    connect(cancelButton, &QPushButton::clicked, this, &CTilesDlg::reject);

    Show(AllTiles());
    sheet->SetSelected(selected);
    values->SetValue(value);
    resize(1024, 768);
    canvas->setFocus();
}

CTilesDlg::~CTilesDlg() = default;

QString CTilesDlg::DiscardQuestion() {
    return QStringLiteral("Discard the changes to the tiles?");
}

void CTilesDlg::SelectTile(int tile) {
    if (tile < 0 || tile >= tiles::TileCount) {
        return;
    }
    edit->EndStroke();
    selected = tile;
    sheet->SetSelected(tile);
    ShowSelected();
}

void CTilesDlg::SetValue(int v) {
    value = std::clamp(v, 0, 3);
    values->SetValue(value);
}

QString CTilesDlg::HoverText() const {
    return hoverLabel->text();
}

QString CTilesDlg::MessageText() const {
    return messageLabel->text();
}

void CTilesDlg::Say(const QString& text) {
    messageLabel->setText(text);
}

void CTilesDlg::Show(const tiles::SetTiles& changed) {
    const int set = edit->Set();
    gfx::TilePixels pixels{};
    for (int t = 0; t < tiles::TileCount; ++t) {
        if (changed[U(set)].test(U(t))) {
            gfx::RenderMetatile(edit->Working(), set, t, pixels);
            sheet->SetTile(t, pixels);
            preview->SetTile(t, pixels);
        }
    }
    ShowSelected();
}

void CTilesDlg::ShowSelected() {
    const tiles::TileModel& model = edit->Model();
    const CRomImage& rom = edit->Working();
    const int set = edit->Set();
    gfx::TilePixels pixels{};
    gfx::RenderMetatile(rom, set, selected, pixels);
    canvas->SetTile(pixels);

    std::array<uint32_t, 16> palette{};
    for (int i = 0; i < tiles::PaletteSize; ++i) {
        palette[U(i)] = gfx::ToArgb(rom.ColourTable[model.PaletteEntry(set, i) & 0x3F]);
    }
    const int row = model.SubPalette(set, selected);
    subPalettes->SetPalette(palette, row);
    values->SetColours({palette[U(row * 4)], palette[U(row * 4 + 1)], palette[U(row * 4 + 2)],
                        palette[U(row * 4 + 3)]});

    QStringList patterns;
    for (int k = 0; k < tiles::QuarterCount; ++k) {
        patterns << QString::number(model.Quarter(set, selected, k));
    }
    tileLabel->setText(QStringLiteral("Tile %1 (0x%2), %3; patterns %4")
                           .arg(selected)
                           .arg(selected, 2, 16, QLatin1Char('0'))
                           .arg(tiles::IsSharedTile(selected)
                                    ? QStringLiteral("shared by all maps")
                                    : QStringLiteral("of set %1 only").arg(set))
                           .arg(patterns.join(QStringLiteral(", "))));
    UpdateMarks();
    UpdateButtons();
}

void CTilesDlg::UpdateMarks() {
    const tiles::TileModel& model = edit->Model();
    const int set = edit->Set();
    // The tiles of this set among a pattern's users.
    const auto usersHere = [&](int pattern, tiles::TileMask& into) {
        for (const tiles::QuarterUse& use : model.UsersOf(set, pattern)) {
            if (use.set == tiles::AnySet || use.set == set) {
                into.set(U(use.tile));
            }
        }
    };
    tiles::TileMask sharing;
    for (int k = 0; k < tiles::QuarterCount; ++k) {
        usersHere(model.Quarter(set, selected, k), sharing);
    }
    sharing.reset(U(selected));
    tiles::TileMask hovered;
    const QPoint h = canvas->Hover();
    if (h.x() >= 0) {
        const int quarter = h.y() / tiles::PatternSide * 2 + h.x() / tiles::PatternSide;
        const int pattern = model.Quarter(set, selected, quarter);
        usersHere(pattern, hovered);
        const int users = model.UserTileCount(set, pattern);
        hoverLabel->setText(
            QStringLiteral("pattern %1: used by %2 %3")
                .arg(pattern)
                .arg(users)
                .arg(users == 1 ? QStringLiteral("tile") : QStringLiteral("tiles")));
    } else {
        hoverLabel->clear();
    }
    sheet->SetMarks(sharing, hovered);
}

void CTilesDlg::UpdateButtons() {
    undoButton->setEnabled(edit->CanUndo() || edit->StrokeOpen());
    redoButton->setEnabled(edit->CanRedo());
}

void CTilesDlg::Paint(int x, int y) {
    lastPixel = {x, y};
    const tiles::SetTiles changed = edit->Paint(selected, x, y, value);
    if (changed[U(edit->Set())].any()) {
        Show(changed);
    }
    UpdateButtons();
}

void CTilesDlg::Pick(int x, int y) {
    lastPixel = {x, y};
    SetValue(edit->Model().TilePixel(edit->Set(), selected, x, y));
}

void CTilesDlg::Hover(int x, int y) {
    if (x >= 0) {
        lastPixel = {x, y};
    }
    UpdateMarks();
}

void CTilesDlg::Fill() {
    const QPoint at = canvas->Hover().x() >= 0 ? canvas->Hover() : lastPixel;
    Show(edit->Fill(selected, at.x(), at.y(), value));
}

void CTilesDlg::ClickRow(int row) {
    const tiles::SetTiles changed = edit->SetSubPalette(selected, row);
    rowClickChanged = changed[U(edit->Set())].any();
    if (rowClickChanged) {
        Show(changed);
        Say(tiles::IsSharedTile(selected)
                ? QStringLiteral("Tile %1 takes sub-palette %2 on every map.")
                      .arg(selected)
                      .arg(row)
                : QStringLiteral("Tile %1 takes sub-palette %2.").arg(selected).arg(row));
    }
}

void CTilesDlg::ChangeEntry(int index) {
    if (rowClickChanged) {
        // The double-click's first press chose the row; a double-click only picks a colour.
        rowClickChanged = false;
        Show(edit->Retract());
        Say(QString()); // nor does it say so
        UpdateButtons();
    }
    const int set = edit->Set();
    const int current = edit->Model().PaletteEntry(set, index);
    const QString title =
        QStringLiteral("Sub-palette %1, colour %2").arg(index / 4).arg(index % 4 + 1);
    const std::optional<int> colour = ChooseNesColour(this, edit->Working(), current, title);
    if (!colour || *colour == current) {
        return;
    }
    Show(edit->SetPaletteEntry(index, *colour));
    Say(QStringLiteral("Sub-palette %1, colour %2 is now NES colour 0x%3. This changes every tile "
                       "of it on %4.")
            .arg(index / 4)
            .arg(index % 4 + 1)
            .arg(*colour, 2, 16, QLatin1Char('0'))
            .arg(MapNames(tiles::MapsOfSet(set))));
}

void CTilesDlg::MakeUnique() {
    const tiles::UniqueReport report = edit->MakeUnique(selected);
    if (!report.done) {
        Say(QStringLiteral("Make Unique: ") + QString::fromStdString(report.refusal));
        return;
    }
    if (report.copies.empty()) {
        Say(QStringLiteral("Tile %1 shares no pattern: nothing to do.").arg(selected));
        return;
    }
    static const char* const quarterNames[] = {"top left", "top right", "bottom left",
                                               "bottom right"};
    QStringList copies;
    for (const tiles::UniqueReport::Copy& copy : report.copies) {
        copies << QStringLiteral("%1 from pattern %2 to %3")
                      .arg(QString::fromLatin1(quarterNames[copy.quarter]))
                      .arg(copy.from)
                      .arg(copy.to);
    }
    Show(report.changed);
    Say(QStringLiteral("Tile %1 has patterns of its own: %2.")
            .arg(selected)
            .arg(copies.join("; ")));
}

void CTilesDlg::Undo() {
    Show(edit->Undo());
}

void CTilesDlg::Redo() {
    Show(edit->Redo());
}

void CTilesDlg::keyPressEvent(QKeyEvent* event) {
    const auto mods = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier |
                                            Qt::AltModifier | Qt::MetaModifier);
    const int key = event->key();
    if (mods == Qt::ControlModifier && key == Qt::Key_Z) {
        Undo();
        return;
    }
    if ((mods == Qt::ControlModifier && key == Qt::Key_Y) ||
        (mods == (Qt::ControlModifier | Qt::ShiftModifier) && key == Qt::Key_Z)) {
        Redo();
        return;
    }
    if (mods == Qt::NoModifier) {
        if (key >= Qt::Key_1 && key <= Qt::Key_4) {
            SetValue(key - Qt::Key_1);
            return;
        }
        // The arrows move the selection through the sheet.
        const int step = key == Qt::Key_Left    ? -1
                         : key == Qt::Key_Right ? 1
                         : key == Qt::Key_Up    ? -16
                         : key == Qt::Key_Down  ? 16
                                                : 0;
        if (step != 0) {
            SelectTile(selected + step);
            return;
        }
        switch (key) {
        case Qt::Key_F:
            Fill();
            return;
        case Qt::Key_U:
            MakeUnique();
            return;
        default:
            break;
        }
    }
    QDialog::keyPressEvent(event);
}

void CTilesDlg::accept() {
    edit->EndStroke();
    if (edit->HasChanges()) {
        doc.ApplyTiles(edit->Working());
    }
    QDialog::accept();
}

void CTilesDlg::reject() {
    edit->EndStroke();
    if (edit->HasChanges() &&
        app::Ask(DiscardQuestion(), {app::Answer::Discard, app::Answer::Cancel}) !=
            app::Answer::Discard) {
        return;
    }
    QDialog::reject();
}

void OpenTilesWindow(QWidget* parent, edit::MapDocument& doc, int tile, edit::Cell view) {
    CTilesDlg dialog(doc, tile, view, parent);
    dialog.exec();
}
