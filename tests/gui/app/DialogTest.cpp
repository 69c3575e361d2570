#include <QFileDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/Dialog.h"
#include "app/Platform.h"
#include "resources/Templates.h"
#include "tests/gui/GuiTest.h"

namespace {

using Log = std::vector<std::string>;

std::string Text(const QPoint& p) {
    return std::to_string(p.x()) + "," + std::to_string(p.y());
}

// A dialog on any template that records what reaches its handlers.
class Probe : public CDialog {
  public:
    using CDialog::CDialog;
    Log log;
    bool endInInit = false;

  protected:
    bool OnInitDialog() override {
        if (endInInit) {
            EndDialog(IDCANCEL);
        }
        return true;
    }
    void OnOK() override { log.push_back("ok"), CDialog::OnOK(); }
    void OnCancel() override { log.push_back("cancel"), CDialog::OnCancel(); }
    void OnCommand(int id) override { log.push_back("command " + std::to_string(id)); }
    void OnSelChange(int id) override { log.push_back("sel " + std::to_string(id)); }
    void OnLButtonUp(const QPoint& p) override { log.push_back("lup " + Text(p)); }
    void OnMouseMove(const QPoint& p) override { log.push_back("move " + Text(p)); }
    void OnVScroll(int code, int pos, int bar) override { Scroll("v", code, pos, bar); }
    void OnHScroll(int code, int pos, int bar) override { Scroll("h", code, pos, bar); }

  private:
    // Moves the bar only while the thumb is tracked, so other codes must leave it alone.
    void Scroll(const char* dir, int code, int pos, int bar) {
        log.push_back(QString("%1 %2 %3 %4").arg(dir).arg(code).arg(pos).arg(bar).toStdString());
        if (code == SB_THUMBTRACK) {
            SetScrollPos(bar, pos);
        }
    }
};

TEST(DialogLayout, TemplatesBuildAtFixedBaseUnitsInTabOrderAndEveryTextFits) {
    EXPECT_EQ(DluToPixelsX(51), 76);   // 76.5 truncates
    EXPECT_EQ(DluToPixelsY(186), 302); // 302.25
    for (int id : {100, 102, 129, 130}) {
        SCOPED_TRACE(id);
        Probe dlg(id);
        const res::DialogTemplate& tpl = *res::FindTemplate(id);
        EXPECT_EQ(dlg.size(), QSize(DluToPixelsX(tpl.cx), DluToPixelsY(tpl.cy)));
        EXPECT_EQ(QFontInfo(dlg.font()).family(), DialogFontFamily);
        QWidget* tabStop = nullptr; // walks the focus chain beside the template
        for (const res::ControlTemplate& c : tpl.controls) {
            QWidget* w = dlg.GetDlgItem(c.id);
            if (c.id != res::NoId) {
                ASSERT_NE(w, nullptr);
                EXPECT_EQ(w->pos(), QPoint(DluToPixelsX(c.x), DluToPixelsY(c.y)));
            }
            if (c.tabStop) {
                tabStop = tabStop ? tabStop->nextInFocusChain() : w;
                while (tabStop->focusPolicy() != Qt::StrongFocus) {
                    tabStop = tabStop->nextInFocusChain();
                }
                EXPECT_EQ(tabStop, w);
            }
        }

        const QList<QWidget*> widgets = dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (QWidget* w : widgets) {
            const QFontMetrics fm = w->fontMetrics();
            if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
                SCOPED_TRACE(label->text().toStdString());
                EXPECT_LE(label->sizeHint().width(), label->width());
                EXPECT_LE(label->sizeHint().height(), label->height());
            } else if (auto* button = qobject_cast<QPushButton*>(w)) {
                // Room for the text and the bevel on both sides.
                EXPECT_LE(fm.horizontalAdvance(button->text()) + 8, button->width());
                EXPECT_LE(fm.height() + 4, button->height());
            }
            EXPECT_TRUE(dlg.rect().contains(w->geometry()));
            // Controls meet only as a frame wholly around another control.
            const bool frame = qobject_cast<QGroupBox*>(w) != nullptr;
            for (QWidget* other : widgets) {
                if (other != w && !qobject_cast<QGroupBox*>(other)) {
                    EXPECT_TRUE(!w->geometry().intersects(other->geometry()) ||
                                (frame && w->geometry().contains(other->geometry())))
                        << w->metaObject()->className() << " and "
                        << other->metaObject()->className();
                }
            }
        }
    }
}

TEST(DialogRun, EndDialogInsideInitReturnsAtOnceWithoutShowing) {
    Probe dlg(102), again(102);
    dlg.endInInit = again.endInInit = true;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_FALSE(again.Create());
    EXPECT_FALSE(again.isVisible());
    EXPECT_TRUE(dlg.log.empty());
}

TEST(DialogRun, ButtonsKeysAndCloseBoxEndAsExpected) {
    auto run = [](int templateId, auto action) {
        Probe dlg(templateId);
        EXPECT_TRUE(dlg.Create());
        dlg.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dlg));
        action(dlg);
        EXPECT_EQ(dlg.isVisible(), !dlg.Ended());
        return dlg.log;
    };
    auto click = [](int id) {
        return [id](Probe& d) { QTest::mouseClick(d.GetDlgItem(id), Qt::LeftButton); };
    };
    auto key = [](Qt::Key k) { return [k](Probe& d) { QTest::keyClick(&d, k); }; };

    EXPECT_EQ(run(102, click(1026)), Log{"command 1026"});
    EXPECT_EQ(run(102, click(IDOK)), Log{"ok"});
    EXPECT_EQ(run(130, click(IDCANCEL)), Log{"cancel"});
    EXPECT_EQ(run(102, key(Qt::Key_F1)), Log{});
    // Without a default button Enter presses nothing, not the first button ("Save").
    EXPECT_EQ(run(130, key(Qt::Key_Return)), Log{});
    EXPECT_EQ(run(102, key(Qt::Key_Escape)), Log{"cancel"});
    EXPECT_EQ(run(102, [](Probe& d) { d.close(); }), Log{"cancel"});
    // The first tab stop has the focus, and Enter presses the default button.
    EXPECT_EQ(run(102,
                  [](Probe& d) {
                      EXPECT_EQ(QApplication::focusWidget(), d.GetDlgItem(IDOK));
                      QTest::keyClick(&d, Qt::Key_Return);
                      EXPECT_EQ(d.EndResult(), IDOK);
                  }),
              Log{"ok"});
}

TEST(DialogMouse, MovesWithoutAButtonAndReleasesOutsideTheWindowArrive) {
    Probe dlg(130);
    ASSERT_TRUE(dlg.Create());
    QTest::mouseMove(&dlg, QPoint(299, 199)); // the pointer may already be at the next point
    dlg.log.clear();
    QTest::mouseMove(&dlg, QPoint(300, 200)); // over the "Map" frame
    QTest::mousePress(&dlg, Qt::LeftButton, {}, QPoint(300, 200));
    QTest::mouseRelease(&dlg, Qt::LeftButton, {}, QPoint(-20, 900));
    ASSERT_FALSE(dlg.log.empty());
    EXPECT_EQ(dlg.log.front(), "move 300,200");
    EXPECT_EQ(dlg.log.back(), "lup -20,900");
}

TEST(DialogScroll, UserActionsBecomeScrollCodesAndTheHandlerDecides) {
    Probe dlg(130);
    ASSERT_TRUE(dlg.Create());
    dlg.SetScrollRange(1024, 0, 240);
    dlg.SetScrollRange(1025, 0, 240);
    dlg.SetScrollPos(1024, 100);
    auto* vbar = dlg.Item<QScrollBar>(1024);
    auto* hbar = dlg.Item<QScrollBar>(1025);
    for (auto action : {QAbstractSlider::SliderSingleStepSub, QAbstractSlider::SliderSingleStepAdd,
                        QAbstractSlider::SliderPageStepSub, QAbstractSlider::SliderPageStepAdd,
                        QAbstractSlider::SliderToMinimum, QAbstractSlider::SliderToMaximum}) {
        vbar->triggerAction(action);
    }
    hbar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(vbar->value(), 100);
    EXPECT_EQ(hbar->value(), 0);
    // A thumb drag: tracking carries the position, the release reports it once more; then
    // the end of the mouse action.
    vbar->setSliderDown(true);
    vbar->setSliderPosition(57);
    vbar->setSliderDown(false);
    QTest::mouseRelease(hbar, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(dlg.log,
              (Log{"v 0 100 1024", "v 1 100 1024", "v 2 100 1024", "v 3 100 1024", "v 6 100 1024",
                   "v 7 100 1024", "h 1 0 1025", "v 5 57 1024", "v 4 57 1024", "h 8 0 1025"}));
    // Programmatic positions never notify, and stay inside the range.
    dlg.SetScrollPos(1024, 300);
    EXPECT_EQ(dlg.GetScrollPos(1024), 240);
    EXPECT_EQ(dlg.log.size(), 10u);
}

TEST(DialogSelection, InsertAtIndexAndOnlyTheUsersChangesNotify) {
    Probe dlg(130);
    ASSERT_TRUE(dlg.Create());
    dlg.InsertString(1027, 0, "two");
    dlg.InsertString(1027, 0, "one");
    dlg.InsertString(1027, -1, "three");
    auto* list = dlg.Item<QListWidget>(1027);
    EXPECT_EQ(list->item(0)->text() + list->item(2)->text(), "onethree");
    dlg.SetCurSel(1027, 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(2)).center());
    EXPECT_EQ(dlg.GetCurSel(1027), 2);
    dlg.SetCurSel(1027, 7);
    EXPECT_EQ(dlg.GetCurSel(1027), -1);
    EXPECT_EQ(dlg.log, Log{"sel 1027"});
}

TEST(Platform, MessageBoxWarnsWithOneOkUnderTheProgramName) {
    EXPECT_TRUE(ModalOpens([] { app::MessageBox("Two\nlines"); },
                           [](QWidget* w) {
                               auto* box = qobject_cast<QMessageBox*>(w);
                               ASSERT_NE(box, nullptr);
                               EXPECT_EQ(box->text(), "Two\nlines");
                               EXPECT_EQ(box->icon(), QMessageBox::Warning);
                               EXPECT_EQ(box->windowTitle(), "atlasforge-app-tests");
                               EXPECT_EQ(box->buttons().size(), 1);
                               box->button(QMessageBox::Ok)->click();
                           }));
}

TEST(Platform, OpenFileDialogOffersRomFilesFirstAndGivesTheFullPathOrNothing) {
    QTemporaryDir dir;
    const QString rom = dir.filePath("game.nes");
    QFile(rom).open(QIODevice::WriteOnly);
    std::optional<QString> chosen;
    auto open = [&chosen] { chosen = app::GetOpenFileName(); };
    EXPECT_TRUE(ModalOpens(open, [&rom](QWidget* w) {
        auto* dlg = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->windowTitle(), "Open");
        EXPECT_EQ(dlg->acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(dlg->defaultSuffix(), "nes");
        EXPECT_EQ(dlg->nameFilters(), (QStringList{"NES ROM Files (*.nes)", "All Files (*)"}));
        EXPECT_EQ(dlg->selectedNameFilter(), "NES ROM Files (*.nes)");
        dlg->selectFile(rom);
        static_cast<QDialog*>(dlg)->accept(); // QFileDialog hides its accept()
    }));
    EXPECT_EQ(chosen, rom);
    EXPECT_TRUE(ModalOpens(open, [](QWidget*) {}));
    EXPECT_FALSE(chosen.has_value());
}

} // namespace
