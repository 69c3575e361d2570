#include "mapeditor/UndoActions.h"

#include <QAction>
#include <QKeySequence>
#include <QWidget>

#include "app/DocumentSignals.h"

namespace mapeditor {

namespace {

QAction* NewAction(QWidget& window, const char* name, const QString& text,
                   const QList<QKeySequence>& keys, const QString& tip) {
    auto* action = new QAction(text, &window);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcuts(keys);
    action->setToolTip(
        QStringLiteral("%1 (%2)").arg(tip, keys.first().toString(QKeySequence::NativeText)));
    window.addAction(action);
    return action;
}

} // namespace

UndoActions AddUndoActions(QWidget& window, edit::MapDocument& doc,
                           std::function<void()> beforeStep) {
    UndoActions actions;
    actions.undo =
        NewAction(window, "undo", QStringLiteral("&Undo"), {QKeySequence(Qt::CTRL | Qt::Key_Z)},
                  QStringLiteral("Undo the last change"));
    actions.redo = NewAction(
        window, "redo", QStringLiteral("Re&do"),
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
        QStringLiteral("Redo what was undone"));
    const auto refresh = [&doc, actions] {
        actions.undo->setEnabled(doc.CanUndo());
        actions.redo->setEnabled(doc.CanRedo());
    };
    refresh();
    // Every change of the grid, a load included, is followed by a change of the budget. An
    // undo that finds its rows already as it would leave them announces nothing, so the
    // actions look again after each step too.
    auto* heard = new DocumentSignals(doc, &window);
    QObject::connect(heard, &DocumentSignals::budgetChanged, actions.undo, refresh);
    QObject::connect(actions.undo, &QAction::triggered, &window, [&doc, beforeStep, refresh] {
        beforeStep();
        doc.Undo();
        refresh();
    });
    QObject::connect(actions.redo, &QAction::triggered, &window, [&doc, beforeStep, refresh] {
        beforeStep();
        doc.Redo();
        refresh();
    });
    return actions;
}

} // namespace mapeditor
