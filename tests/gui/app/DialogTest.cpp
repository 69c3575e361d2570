#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/Dialog.h"
#include "resources/Templates.h"

namespace {

using Log = std::vector<std::string>;
const QColor Painted(0x12, 0x9A, 0x56);

// A dialog on any template that records what reaches its handlers.
class Probe : public CDialog {
  public:
    explicit Probe(int templateId, bool endInInit = false)
        : CDialog(templateId), endInInit(endInInit) {}
    Log log;
    int shows = 0;

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
    void OnLButtonDown(const QPoint& p) override { Mouse("ldown", p); }
    void OnLButtonUp(const QPoint& p) override { Mouse("lup", p); }
    void OnRButtonDown(const QPoint& p) override { Mouse("rdown", p); }
    void OnMouseMove(const QPoint& p) override { Mouse("move", p); }
    void OnVScroll(int code, int pos, int bar) override { Scroll("v", code, pos, bar); }
    void OnHScroll(int code, int pos, int bar) override { Scroll("h", code, pos, bar); }
    void showEvent(QShowEvent* e) override { ++shows, CDialog::showEvent(e); }
    void OnPaint(QPainter& dc) override { dc.fillRect(rect(), Painted); }

  private:
    void Mouse(const char* what, const QPoint& p) {
        log.push_back(std::string(what) + " " + std::to_string(p.x()) + "," +
                      std::to_string(p.y()));
    }
    // Moves the bar only while the thumb is tracked, so other codes must leave it alone.
    void Scroll(const char* dir, int code, int pos, int bar) {
        log.push_back(std::string(dir) + " " + std::to_string(code) + " " + std::to_string(pos) +
                      " " + std::to_string(bar));
        if (code == SB_THUMBTRACK) {
            SetScrollPos(bar, pos);
        }
    }
    bool endInInit;
};

constexpr int AllTemplates[] = {100, 102, 129, 130};

TEST(DialogLayout, TemplatesBuildAtFixedBaseUnitsWithIdsAndTabOrder) {
    EXPECT_EQ(DluToPixelsX(51), 76);   // 76.5 truncates
    EXPECT_EQ(DluToPixelsY(186), 302); // 302.25
    for (int id : AllTemplates) {
        SCOPED_TRACE(id);
        Probe dlg(id);
        const res::DialogTemplate& tpl = *res::FindTemplate(id);
        EXPECT_EQ(dlg.size(), QSize(DluToPixelsX(tpl.cx), DluToPixelsY(tpl.cy)));
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
    }
}

TEST(DialogLayout, EveryTextFitsItsControlAndNothingOverlaps) {
    for (int id : AllTemplates) {
        SCOPED_TRACE(id);
        Probe dlg(id);
        EXPECT_EQ(QFontInfo(dlg.font()).family(), DialogFontFamily);
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
            for (QWidget* other : widgets) {
                if (other == w || qobject_cast<QGroupBox*>(other)) {
                    continue;
                }
                // Controls meet only as a frame wholly around another control.
                if (qobject_cast<QGroupBox*>(w)) {
                    EXPECT_TRUE(!w->geometry().intersects(other->geometry()) ||
                                w->geometry().contains(other->geometry()));
                } else {
                    EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                        << w->metaObject()->className() << " and "
                        << other->metaObject()->className();
                }
            }
        }
    }
}

TEST(DialogPaint, FramesAndLabelsLeaveTheDialogsPaintingUntouched) {
    Probe dlg(130);
    ASSERT_TRUE(dlg.Create());
    const QImage shot = dlg.grab().toImage();
    // Inside the "Map" and "Tiles" frames, and under the "Available Bytes:" text.
    for (QPoint at : {QPoint(163, 30), QPoint(418, 285), QPoint(720, 285), QPoint(458, 314)}) {
        EXPECT_EQ(shot.pixelColor(at), Painted) << at.x() << "," << at.y();
    }
}

TEST(DialogRun, EndDialogInsideInitReturnsAtOnceWithoutShowing) {
    Probe dlg(102, true);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    Probe again(102, true);
    EXPECT_FALSE(again.Create());
    EXPECT_EQ(dlg.shows + again.shows, 0);
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

TEST(DialogMouse, FramesAndLabelsPassPressesToTheDialogControlsKeepTheirs) {
    Probe dlg(130);
    ASSERT_TRUE(dlg.Create());
    // Inside the "Map" frame, on the "Available Bytes:" label, then on a push button.
    QTest::mousePress(&dlg, Qt::LeftButton, {}, QPoint(163, 30));
    QTest::mouseRelease(&dlg, Qt::LeftButton, {}, QPoint(163, 30));
    QTest::mousePress(&dlg, Qt::RightButton, {}, QPoint(470, 306));
    QTest::mousePress(dlg.GetDlgItem(1030), Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(dlg.log, (Log{"ldown 163,30", "lup 163,30", "rdown 470,306"}));

    // Movement without a button arrives; a release outside the window after a press on
    // the dialog still reaches it.
    dlg.log.clear();
    QTest::mouseMove(&dlg, QPoint(300, 200));
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
    EXPECT_EQ(dlg.log, (Log{"v 0 100 1024", "v 1 100 1024", "v 2 100 1024", "v 3 100 1024",
                            "v 6 100 1024", "v 7 100 1024", "h 1 0 1025"}));
    EXPECT_EQ(vbar->value(), 100);
    EXPECT_EQ(hbar->value(), 0);

    // A thumb drag: tracking carries the position, the release reports it once more; then
    // the end of the mouse action.
    dlg.log.clear();
    vbar->setSliderDown(true);
    vbar->setSliderPosition(57);
    vbar->setSliderDown(false);
    QTest::mouseRelease(hbar, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(dlg.log, (Log{"v 5 57 1024", "v 4 57 1024", "h 8 0 1025"}));
    EXPECT_EQ(dlg.GetScrollPos(1024), 57);

    // Programmatic positions never notify, and stay inside the range.
    dlg.log.clear();
    dlg.SetScrollPos(1024, 300);
    EXPECT_EQ(dlg.GetScrollPos(1024), 240);
    EXPECT_TRUE(dlg.log.empty());
}

TEST(DialogSelection, InsertAtIndexAndOnlyTheUsersChangesNotify) {
    Probe dlg(130);
    ASSERT_TRUE(dlg.Create());
    for (auto [index, text] : {std::pair{0, "zero"}, {1, "two"}, {1, "one"}, {-1, "three"}}) {
        dlg.InsertString(1027, index, text);
    }
    auto* list = dlg.Item<QListWidget>(1027);
    ASSERT_EQ(list->count(), 4);
    EXPECT_EQ(list->item(1)->text(), "one");
    EXPECT_EQ(list->item(3)->text(), "three");
    EXPECT_EQ(dlg.GetCurSel(1027), -1);

    dlg.SetCurSel(1027, 2);
    EXPECT_EQ(dlg.GetCurSel(1027), 2);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(3)).center());
    EXPECT_EQ(dlg.GetCurSel(1027), 3);
    dlg.SetCurSel(1027, 7);
    EXPECT_EQ(dlg.GetCurSel(1027), -1);
    EXPECT_EQ(dlg.log, Log{"sel 1027"});
}

} // namespace
