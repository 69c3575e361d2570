#include "mapeditor/WorldDlg.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QToolBar>
#include <algorithm>

#include "app/DocumentSignals.h"
#include "app/ViewSteps.h"
#include "mapeditor/BudgetView.h"
#include "mapeditor/ReplaceDlg.h"
#include "mapeditor/TilesDlg.h"
#include "mapeditor/TryMap.h"
#include "mapeditor/UndoActions.h"

namespace {

CWorldDlg::ReplaceFunction& ReplaceHook() {
    static CWorldDlg::ReplaceFunction fn;
    return fn;
}

// Zoom steps as people say them: 1/8 to 4.
QString ZoomName(int step) {
    static const char* const names[gfx::ZoomSteps] = {"1/8", "1/4", "1/2", "1", "2", "4"};
    return QString::fromLatin1(names[std::clamp(step, 0, gfx::ZoomSteps - 1)]);
}

} // namespace

// ----- CWorldDlg -----

void CWorldDlg::SetReplaceFunction(ReplaceFunction fn) {
    ReplaceHook() = std::move(fn);
}

CWorldDlg::CWorldDlg(edit::MapDocument& d, int scrollX, int scrollY, QWidget* parent)
    : QDialog(parent), doc(d), canvas(new WorldCanvas(d, this)), palette(new TilePalette(d, this)),
      tools(new QActionGroup(this)), cellLabel(new QLabel(this)), tileLabel(new QLabel(this)),
      zoomLabel(new QLabel(this)), highlightLabel(new QLabel(this)), historyLabel(new QLabel(this)),
      budgetLabel(new QLabel(this)), budgetBar(new QProgressBar(this)),
      closeButton(new QPushButton(QStringLiteral("Close"), this)) {
    setWindowTitle(QStringLiteral("World"));
    setSizeGripEnabled(true);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    auto* toolbar = new QToolBar(this);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    struct ToolInfo {
        WorldCanvas::Tool tool;
        const char* name;
        Qt::Key key;
    };
    static const ToolInfo toolInfo[] = {
        {WorldCanvas::Tool::Brush, "&Brush", Qt::Key_B},
        {WorldCanvas::Tool::Rectangle, "&Rectangle", Qt::Key_R},
        {WorldCanvas::Tool::Fill, "&Fill", Qt::Key_F},
        {WorldCanvas::Tool::Pick, "P&ick", Qt::Key_I},
        {WorldCanvas::Tool::Select, "&Select", Qt::Key_S},
    };
    for (const ToolInfo& info : toolInfo) {
        QAction* action = AddAction(QString::fromLatin1(info.name), QKeySequence(info.key),
                                    canvas->ToolHint(info.tool));
        action->setCheckable(true);
        tools->addAction(action);
        toolbar->addAction(action);
        toolActions[static_cast<std::size_t>(info.tool)] = action;
        const WorldCanvas::Tool tool = info.tool;
        connect(action, &QAction::triggered, this, [this, tool] { canvas->SetTool(tool); });
    }
    ToolAction(canvas->CurrentTool())->setChecked(true);
    // A pick hands back to the tool before it: the checked action follows.
    connect(canvas, &WorldCanvas::ToolChanged, this,
            [this](WorldCanvas::Tool tool) { ToolAction(tool)->setChecked(true); });
    toolbar->addSeparator();

    QAction* replace = AddAction(QStringLiteral("Re&place..."), QKeySequence(Qt::CTRL | Qt::Key_H),
                                 QStringLiteral("Replace every cell of one tile, in the "
                                                "selection or the whole map"));
    connect(replace, &QAction::triggered, this, &CWorldDlg::Replace);
    toolbar->addAction(replace);
    const mapeditor::UndoActions undo =
        mapeditor::AddUndoActions(*this, doc, [this] { canvas->EndDrag(); });
    toolbar->addAction(undo.undo);
    toolbar->addAction(undo.redo);
    toolbar->addSeparator();

    QAction* grid = AddAction(QStringLiteral("&Grid"), QKeySequence(Qt::Key_G),
                              QStringLiteral("Show the lines between cells"));
    grid->setCheckable(true);
    grid->setChecked(canvas->GridVisible());
    connect(grid, &QAction::toggled, canvas, &WorldCanvas::SetGridVisible);
    toolbar->addAction(grid);
    QAction* highlight = AddAction(QStringLiteral("&Highlight"), QKeySequence(Qt::Key_H),
                                   QStringLiteral("Mark every cell of the selected tile"));
    highlight->setCheckable(true);
    connect(highlight, &QAction::toggled, this, [this](bool on) {
        canvas->SetHighlight(on);
        UpdateHighlightCount();
    });
    toolbar->addAction(highlight);
    toolbar->addSeparator();

    QAction* zoomIn = AddAction(QStringLiteral("Zoom In"), QKeySequence(Qt::CTRL | Qt::Key_Plus),
                                QStringLiteral("Zoom in (Ctrl+wheel zooms about the pointer)"));
    zoomIn->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    connect(zoomIn, &QAction::triggered, this, [this] { canvas->SetZoom(canvas->Zoom() + 1); });
    toolbar->addAction(zoomIn);
    QAction* zoomOut = AddAction(QStringLiteral("Zoom Out"), QKeySequence(Qt::CTRL | Qt::Key_Minus),
                                 QStringLiteral("Zoom out"));
    connect(zoomOut, &QAction::triggered, this, [this] { canvas->SetZoom(canvas->Zoom() - 1); });
    toolbar->addAction(zoomOut);
    QAction* fit = AddAction(QStringLiteral("Whole Map"), QKeySequence(Qt::CTRL | Qt::Key_0),
                             QStringLiteral("Zoom to show the whole map"));
    connect(fit, &QAction::triggered, canvas, &WorldCanvas::FitWholeMap);
    toolbar->addAction(fit);
    QAction* actual = AddAction(QStringLiteral("Zoom 1"), QKeySequence(Qt::CTRL | Qt::Key_1),
                                QStringLiteral("One tile pixel to a screen pixel"));
    connect(actual, &QAction::triggered, this, [this] { canvas->SetZoom(gfx::NativeZoom); });
    toolbar->addAction(actual);
    toolbar->addSeparator();

    QAction* test = AddAction(QStringLiteral("&Test"), QKeySequence(Qt::Key_F5),
                              QStringLiteral("Play the map in an emulator, on a copy of the ROM "
                                             "with the map stored; the ROM stays as it is"));
    connect(test, &QAction::triggered, this, [this] { mapeditor::TryInEmulator(doc); });
    toolbar->addAction(test);
    QAction* tilesAction =
        AddAction(QStringLiteral("Tiles..."), QKeySequence(Qt::Key_T),
                  QStringLiteral("Edit the tiles: their pixels, sub-palettes and the map palette"));
    tilesAction->setObjectName(QStringLiteral("tiles"));
    connect(tilesAction, &QAction::triggered, this, [this] { OpenTiles(doc.SelectedTile()); });
    toolbar->addAction(tilesAction);
    connect(palette, &TileSheetView::TileDoubleClicked, this, &CWorldDlg::OpenTiles);

    // Clipboard keys without buttons of their own.
    QAction* copy = AddAction(QStringLiteral("Copy"), QKeySequence(Qt::CTRL | Qt::Key_C), {});
    connect(copy, &QAction::triggered, canvas, &WorldCanvas::CopySelection);
    addAction(copy);
    QAction* paste = AddAction(QStringLiteral("Paste"), QKeySequence(Qt::CTRL | Qt::Key_V), {});
    connect(paste, &QAction::triggered, canvas, &WorldCanvas::StartStamp);
    addAction(paste);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 0, 6, 6);
    layout->setMenuBar(toolbar);
    auto* middle = new QHBoxLayout;
    middle->addWidget(canvas, 1);
    auto* side = new QVBoxLayout;
    side->addWidget(new QLabel(QStringLiteral("Tiles"), this));
    side->addWidget(palette);
    side->addStretch(1);
    middle->addLayout(side);
    layout->addLayout(middle, 1);

    // In a narrow window the hover and zoom labels give up their room first (cut at the
    // right), then the bar; the budget keeps what its text needs.
    auto* status = new QHBoxLayout;
    for (QLabel* label : {cellLabel, tileLabel, zoomLabel, highlightLabel}) {
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        status->addWidget(label, label == highlightLabel ? 3 : 2);
    }
    // Takes room only once there is something to say.
    historyLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    historyLabel->hide();
    status->addWidget(historyLabel, 3);
    budgetLabel->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    status->addWidget(budgetLabel);
    budgetBar->setTextVisible(false);
    budgetBar->setMinimumWidth(40);
    budgetBar->setMaximumWidth(140);
    status->addWidget(budgetBar, 2);
    closeButton->setDefault(true);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    status->addWidget(closeButton);
    layout->addLayout(status);

    connect(canvas, &WorldCanvas::HoverChanged, this, &CWorldDlg::UpdateHover);
    connect(canvas, &WorldCanvas::ViewChanged, this, [this] {
        viewMoved = true;
        UpdateZoom();
    });
    auto* heard = new DocumentSignals(doc, this);
    connect(heard, &DocumentSignals::rowsChanged, this, [this] {
        UpdateHover(hoverX, hoverY);
        UpdateHighlightCount();
    });
    connect(heard, &DocumentSignals::mapLoaded, this, [this] {
        UpdateHover(hoverX, hoverY);
        UpdateHighlightCount();
    });
    connect(heard, &DocumentSignals::selectedTileChanged, this, &CWorldDlg::UpdateHighlightCount);
    connect(heard, &DocumentSignals::budgetChanged, this, &CWorldDlg::UpdateBudget);
    connect(heard, &DocumentSignals::stepsDropped, this, &CWorldDlg::UpdateHistory);

    resize(1024, 768);
    openedAt = edit::Cell{scrollX, scrollY};
    canvas->setFocus();
    UpdateZoom();
    UpdateBudget();
    UpdateHighlightCount();
    UpdateHistory();
}

CWorldDlg::~CWorldDlg() = default;

QAction* CWorldDlg::AddAction(const QString& text, const QKeySequence& key, const QString& tip) {
    auto* action = new QAction(text, this);
    action->setShortcut(key);
    if (!tip.isEmpty()) {
        action->setToolTip(
            QStringLiteral("%1 (%2)").arg(tip, key.toString(QKeySequence::NativeText)));
    }
    return action;
}

edit::Cell CWorldDlg::LastTopLeft() const {
    if (!viewMoved) {
        return openedAt;
    }
    constexpr int half = 8; // of the map editor's 16 by 16-cell view
    constexpr int last = worldmap::MapWidth - 2 * half;
    const QWidget* view = canvas->viewport();
    const edit::Cell middle = canvas->CellAt(QPoint(view->width() / 2, view->height() / 2));
    return {std::clamp(middle.x - half, 0, last), std::clamp(middle.y - half, 0, last)};
}

QAction* CWorldDlg::ToolAction(WorldCanvas::Tool tool) const {
    return toolActions[static_cast<std::size_t>(tool)];
}

QString CWorldDlg::CellText() const {
    return hoverX < 0 ? QString() : QStringLiteral("x %1, y %2").arg(hoverX).arg(hoverY);
}

QString CWorldDlg::TileText() const {
    if (hoverX < 0) {
        return {};
    }
    const int tile = doc.At({hoverX, hoverY});
    return QStringLiteral("tile %1 (0x%2)").arg(tile).arg(tile, 2, 16, QLatin1Char('0'));
}

QString CWorldDlg::ZoomText() const {
    return QStringLiteral("Zoom %1").arg(ZoomName(canvas->Zoom()));
}

QString CWorldDlg::HighlightText() const {
    if (!canvas->HighlightOn()) {
        return {};
    }
    const uint8_t tile = static_cast<uint8_t>(doc.SelectedTile());
    const auto count = std::count(doc.MapGrid().begin(), doc.MapGrid().end(), tile);
    return QStringLiteral("tile %1: %2 cells").arg(tile).arg(count);
}

void CWorldDlg::UpdateHover(int x, int y) {
    hoverX = x;
    hoverY = y;
    cellLabel->setText(CellText());
    tileLabel->setText(TileText());
}

void CWorldDlg::UpdateHighlightCount() {
    highlightLabel->setText(HighlightText());
}

void CWorldDlg::UpdateHistory() {
    if (!doc.HistoryTrimmed()) {
        return;
    }
    QString note = QLatin1String(mapeditor::StepsDroppedNote);
    note[0] = note[0].toUpper();
    historyLabel->setText(note);
    historyLabel->show();
    historyLabel->setToolTip(QStringLiteral("The undo steps of all maps together keep at most "
                                            "%1 MiB; the oldest went to make room for new ones.")
                                 .arg(doc.HistoryLimit() >> 20));
}

void CWorldDlg::UpdateZoom() {
    zoomLabel->setText(ZoomText());
}

void CWorldDlg::UpdateBudget() {
    mapeditor::ShowBudget(doc.Budget(), *budgetLabel, budgetBar);
}

void CWorldDlg::Replace() {
    canvas->EndDrag();
    const bool hasSelection = canvas->Selection().has_value();
    const int tile = doc.SelectedTile();
    const ReplaceChoice initial{hoverX >= 0 ? doc.At({hoverX, hoverY}) : tile, tile, hasSelection};
    std::optional<ReplaceChoice> choice;
    if (ReplaceHook()) {
        choice = ReplaceHook()(this, initial, hasSelection);
    } else {
        auto tiles = std::make_unique<gfx::MetatilePixels>();
        gfx::RenderMetatileSet(doc.Rom(), doc.MapId(), *tiles);
        choice = mapeditor::AskReplace(this, *tiles, initial, hasSelection);
    }
    if (!choice || choice->from < 0 || choice->from > worldmap::MaxTile || choice->to < 0 ||
        choice->to > worldmap::MaxTile) {
        return;
    }
    std::optional<edit::Rect> within;
    if (choice->inSelection && hasSelection) {
        within = canvas->Selection();
    }
    doc.ReplaceTile(static_cast<uint8_t>(choice->from), static_cast<uint8_t>(choice->to), within);
}

void CWorldDlg::OpenTiles(int tile) {
    canvas->EndDrag();
    doc.SetSelectedTile(tile);
    OpenTilesWindow(this, doc, tile, LastTopLeft());
}

void CWorldDlg::keyPressEvent(QKeyEvent* event) {
    const auto mods = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier |
                                            Qt::AltModifier | Qt::MetaModifier);
    // Esc cancels a drag or drops a stamp first; only an Esc with nothing to cancel closes.
    if (mods == Qt::NoModifier && canvas->ToolKey(event->key())) {
        return;
    }
    if (mods == Qt::NoModifier) {
        const int step = app::ArrowStepCells * canvas->CellPixels();
        switch (event->key()) {
        case Qt::Key_Left:
            canvas->ScrollBy(-step, 0);
            return;
        case Qt::Key_Right:
            canvas->ScrollBy(step, 0);
            return;
        case Qt::Key_Up:
            canvas->ScrollBy(0, -step);
            return;
        case Qt::Key_Down:
            canvas->ScrollBy(0, step);
            return;
        default:
            break;
        }
    }
    QDialog::keyPressEvent(event);
}

void CWorldDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!placed) {
        // The scroll ranges depend on the canvas's size, known only now.
        QApplication::sendPostedEvents(canvas, QEvent::Resize);
        canvas->ScrollToCell(openedAt);
        placed = true;
        viewMoved = false;
        UpdateZoom();
    }
}

void CWorldDlg::done(int result) {
    // Whatever is half done becomes an undo step or is dropped; nothing is left open.
    canvas->EndDrag();
    canvas->DropStamp();
    QDialog::done(result);
}
