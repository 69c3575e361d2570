#include "app/Dialog.h"

#include <algorithm>
#include <functional>

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>

#include "resources/AppIcon.h"
#include "resources/Templates.h"

namespace {

constexpr int IconPixels = 32;

QRect DluRect(const res::ControlTemplate& c) {
    return QRect(DluToPixelsX(c.x), DluToPixelsY(c.y), DluToPixelsX(c.cx), DluToPixelsY(c.cy));
}

// A scroll bar that also reports the end of every mouse action, as the scroll codes expect.
class DialogScrollBar : public QScrollBar {
  public:
    using QScrollBar::QScrollBar;
    std::function<void()> onRelease;

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QScrollBar::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && onRelease) {
            onRelease();
        }
    }
};

// A frame and its title, and nothing else: styles that shade a group box's inside would
// tint whatever the dialog paints there, such as the map view.
class DialogGroupBox : public QGroupBox {
  public:
    using QGroupBox::QGroupBox;

  protected:
    void paintEvent(QPaintEvent* event) override {
        (void)event;
        constexpr int TitleLeft = 8;
        QPainter p(this);
        const QFontMetrics fm = fontMetrics();
        const QRect frame = rect().adjusted(0, fm.height() / 2, -1, -1);
        // Etched: a shadow line with a light line inside and below it.
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(frame.adjusted(0, 0, -1, -1));
        p.setPen(palette().color(QPalette::Light));
        p.drawRect(frame.adjusted(1, 1, 0, 0));
        if (!title().isEmpty()) {
            const QRect text(TitleLeft, 0, fm.horizontalAdvance(title()), fm.height());
            p.fillRect(text.adjusted(-2, 0, 2, 0), palette().color(QPalette::Window));
            p.setPen(palette().color(QPalette::WindowText));
            p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title());
        }
    }
};

int ScrollCodeOf(int action) {
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        return SB_LINEUP;
    case QAbstractSlider::SliderSingleStepAdd:
        return SB_LINEDOWN;
    case QAbstractSlider::SliderPageStepSub:
        return SB_PAGEUP;
    case QAbstractSlider::SliderPageStepAdd:
        return SB_PAGEDOWN;
    case QAbstractSlider::SliderToMinimum:
        return SB_TOP;
    case QAbstractSlider::SliderToMaximum:
        return SB_BOTTOM;
    case QAbstractSlider::SliderMove:
        return SB_THUMBTRACK;
    default:
        return -1;
    }
}

} // namespace

CDialog::CDialog(int templateId, QWidget* parent) : QDialog(parent), templateId(templateId) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    QFont font(QString::fromLatin1(DialogFontFamily));
    font.setPixelSize(DialogFontPixels);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    setMouseTracking(true);
    BuildControls();
}

CDialog::~CDialog() = default;

void CDialog::BuildControls() {
    if (built) {
        return;
    }
    built = true;
    const res::DialogTemplate* tpl = res::FindTemplate(templateId);
    if (tpl == nullptr) {
        return;
    }
    setWindowTitle(QString::fromUtf8(tpl->caption));
    setFixedSize(DluToPixelsX(tpl->cx), DluToPixelsY(tpl->cy));

    const bool hasDefaultButton =
        std::any_of(tpl->controls.begin(), tpl->controls.end(), [](const res::ControlTemplate& c) {
            return c.kind == res::Kind::DefPushButton;
        });
    QWidget* previousTabStop = nullptr;
    for (const res::ControlTemplate& c : tpl->controls) {
        const QString text = QString::fromUtf8(c.text);
        const int id = c.id;
        QWidget* w = nullptr;
        switch (c.kind) {
        case res::Kind::PushButton:
        case res::Kind::DefPushButton: {
            auto* button = new QPushButton(text, this);
            // Where the template names no default button, Enter must not press one that
            // Qt picks itself (the map editor's first button is "Save").
            button->setAutoDefault(hasDefaultButton);
            button->setDefault(c.kind == res::Kind::DefPushButton);
            connect(button, &QPushButton::clicked, this, [this, id] {
                if (id == IDOK) {
                    OnOK();
                } else if (id == IDCANCEL) {
                    OnCancel();
                } else {
                    OnCommand(id);
                }
            });
            w = button;
            break;
        }
        case res::Kind::GroupBox:
            w = new DialogGroupBox(text, this);
            break;
        case res::Kind::Static: {
            auto* label = new QLabel(text, this);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            w = label;
            break;
        }
        case res::Kind::Icon: {
            auto* label = new QLabel(this);
            label->setPixmap(res::AppIconPixmap(IconPixels));
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            w = label;
            break;
        }
        case res::Kind::ListBox: {
            auto* list = new QListWidget(this);
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            connect(list, &QListWidget::itemSelectionChanged, this, [this, id] {
                if (!settingSelection) {
                    OnSelChange(id);
                }
            });
            w = list;
            break;
        }
        case res::Kind::ComboBox: {
            auto* combo = new QComboBox(this);
            combo->setEditable(false);
            // `activated` comes only from the user, never from setCurrentIndex.
            connect(combo, &QComboBox::activated, this, [this, id] {
                if (!settingSelection) {
                    OnSelChange(id);
                }
            });
            w = combo;
            break;
        }
        case res::Kind::Edit:
            w = new QLineEdit(this);
            break;
        case res::Kind::ScrollBarVert:
        case res::Kind::ScrollBarHorz: {
            auto* bar = new DialogScrollBar(
                c.kind == res::Kind::ScrollBarVert ? Qt::Vertical : Qt::Horizontal, this);
            bar->setRange(0, 0);
            bar->setFocusPolicy(Qt::NoFocus);
            connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar](int action) {
                const int code = ScrollCodeOf(action);
                if (action != QAbstractSlider::SliderMove) {
                    // The handler alone decides where the bar goes.
                    bar->setSliderPosition(bar->value());
                }
                // Only thumb tracking carries a new position; the others report the current.
                if (code >= 0) {
                    RouteScroll(bar, code, bar->sliderPosition());
                }
            });
            connect(bar, &QAbstractSlider::sliderReleased, this,
                    [this, bar] { RouteScroll(bar, SB_THUMBPOSITION, bar->sliderPosition()); });
            bar->onRelease = [this, bar] { RouteScroll(bar, SB_ENDSCROLL, bar->value()); };
            w = bar;
            break;
        }
        }

        QRect rect = DluRect(c);
        if (c.kind == res::Kind::Icon) {
            rect.setSize(QSize(IconPixels, IconPixels));
        } else if (c.kind == res::Kind::ComboBox) {
            // The template's height is the dropped list's; the box itself is one line.
            rect.setHeight(w->sizeHint().height());
        }
        w->setGeometry(rect);

        const bool passive = c.kind == res::Kind::GroupBox || c.kind == res::Kind::Static ||
                             c.kind == res::Kind::Icon;
        if (passive) {
            // Presses inside frames and labels belong to the dialog, in its own coordinates.
            w->setAttribute(Qt::WA_TransparentForMouseEvents);
            w->setFocusPolicy(Qt::NoFocus);
        } else {
            // A press a control ignores stays with it, as it would on any desktop.
            w->setAttribute(Qt::WA_NoMousePropagation);
            if (c.tabStop) {
                w->setFocusPolicy(Qt::StrongFocus);
                if (previousTabStop != nullptr) {
                    setTabOrder(previousTabStop, w);
                }
                previousTabStop = w;
            } else if (w->focusPolicy() != Qt::NoFocus) {
                w->setFocusPolicy(Qt::ClickFocus);
            }
        }
        if (id != res::NoId) {
            controls[id] = w;
        }
    }
    FitLabels();
}

// A label whose text is wider or taller than its box grows to the text's size when nothing
// lies in the way; no other control moves. Fonts differ from the one the layout was drawn
// for, and a clipped label is worse than a slightly larger one.
void CDialog::FitLabels() {
    const QList<QWidget*> children = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* w : children) {
        auto* label = qobject_cast<QLabel*>(w);
        if (label == nullptr || label->text().isEmpty()) {
            continue;
        }
        const QSize need = label->sizeHint();
        const QRect old = label->geometry();
        if (need.width() <= old.width() && need.height() <= old.height()) {
            continue;
        }
        const QRect grown(old.topLeft(), QSize(std::max(need.width(), old.width()),
                                               std::max(need.height(), old.height())));
        bool clear = rect().contains(grown);
        for (QWidget* other : children) {
            if (other == label || !clear) {
                continue;
            }
            const QRect o = other->geometry();
            if (qobject_cast<QGroupBox*>(other) != nullptr) {
                // A frame is in the way only when the label would cross its edge.
                clear = o.contains(old) ? o.contains(grown) : !o.intersects(grown);
            } else {
                clear = !o.intersects(grown);
            }
        }
        if (clear) {
            label->setGeometry(grown);
        }
    }
}

bool CDialog::RunInit() {
    ended = false;
    endResult = IDCANCEL;
    const bool focusFirst = OnInitDialog();
    if (ended) {
        return false;
    }
    if (focusFirst) {
        for (QWidget* w = nextInFocusChain(); w != nullptr && w != this;
             w = w->nextInFocusChain()) {
            if (w->focusPolicy() == Qt::StrongFocus && w->isEnabled()) {
                w->setFocus();
                break;
            }
        }
    }
    return true;
}

int CDialog::DoModal() {
    BuildControls();
    if (!RunInit()) {
        return endResult;
    }
    exec();
    return endResult;
}

bool CDialog::Create() {
    BuildControls();
    if (!RunInit()) {
        return false;
    }
    show();
    return true;
}

void CDialog::EndDialog(int result) {
    ended = true;
    endResult = result;
    // QDialog::done hides the window and leaves exec() with this result; before the window
    // was ever shown it only records the result, and DoModal then returns at once.
    QDialog::done(result);
}

QWidget* CDialog::GetDlgItem(int id) const {
    auto it = controls.find(id);
    return it == controls.end() ? nullptr : it->second;
}

void CDialog::SetDlgItemText(int id, const QString& text) {
    QWidget* w = GetDlgItem(id);
    if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(text);
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(text);
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        button->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        group->setTitle(text);
    }
}

QString CDialog::GetDlgItemText(int id) const {
    QWidget* w = GetDlgItem(id);
    if (auto* label = qobject_cast<QLabel*>(w)) {
        return label->text();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        return edit->text();
    }
    if (auto* button = qobject_cast<QPushButton*>(w)) {
        return button->text();
    }
    if (auto* group = qobject_cast<QGroupBox*>(w)) {
        return group->title();
    }
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        return combo->currentText();
    }
    return QString();
}

void CDialog::InsertString(int id, int index, const QString& text) {
    QWidget* w = GetDlgItem(id);
    const bool wasSetting = settingSelection;
    settingSelection = true;
    if (auto* list = qobject_cast<QListWidget*>(w)) {
        list->insertItem(index < 0 || index > list->count() ? list->count() : index, text);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        combo->insertItem(index < 0 || index > combo->count() ? combo->count() : index, text);
    }
    settingSelection = wasSetting;
}

void CDialog::SetCurSel(int id, int index) {
    QWidget* w = GetDlgItem(id);
    const bool wasSetting = settingSelection;
    settingSelection = true;
    if (auto* list = qobject_cast<QListWidget*>(w)) {
        if (index >= 0 && index < list->count()) {
            list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
        } else {
            list->clearSelection();
        }
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
    }
    settingSelection = wasSetting;
}

int CDialog::GetCurSel(int id) const {
    QWidget* w = GetDlgItem(id);
    if (auto* list = qobject_cast<QListWidget*>(w)) {
        const QModelIndexList selected = list->selectionModel()->selectedIndexes();
        return selected.isEmpty() ? -1 : selected.first().row();
    }
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        return combo->currentIndex();
    }
    return -1;
}

void CDialog::SetScrollRange(int id, int minimum, int maximum) {
    if (auto* bar = qobject_cast<QScrollBar*>(GetDlgItem(id))) {
        bar->setRange(minimum, maximum);
    }
}

void CDialog::SetScrollPos(int id, int pos) {
    if (auto* bar = qobject_cast<QScrollBar*>(GetDlgItem(id))) {
        bar->setValue(pos);
        bar->setSliderPosition(bar->value());
    }
}

void CDialog::RouteScroll(QWidget* bar, int code, int pos) {
    int barId = res::NoId;
    for (const auto& [id, w] : controls) {
        if (w == bar) {
            barId = id;
        }
    }
    if (static_cast<QScrollBar*>(bar)->orientation() == Qt::Vertical) {
        OnVScroll(code, pos, barId);
    } else {
        OnHScroll(code, pos, barId);
    }
}

void CDialog::InvalidateRect(const QRect& rect, bool erase) {
    (void)erase;
    update(rect);
}

void CDialog::paintEvent(QPaintEvent* event) {
    (void)event;
    QPainter painter(this);
    OnPaint(painter);
}

void CDialog::mousePressEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        OnLButtonDown(point);
    } else if (event->button() == Qt::RightButton) {
        OnRButtonDown(point);
    }
    event->accept();
}

void CDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        OnLButtonUp(event->position().toPoint());
    }
    event->accept();
}

void CDialog::mouseMoveEvent(QMouseEvent* event) {
    OnMouseMove(event->position().toPoint());
    event->accept();
}

void CDialog::closeEvent(QCloseEvent* event) {
    if (ended) {
        event->accept();
        return;
    }
    OnCancel();
    if (ended) {
        event->accept();
    } else {
        event->ignore();
    }
}

void CDialog::reject() {
    OnCancel();
}

void CDialog::accept() {
    OnOK();
}
