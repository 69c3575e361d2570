#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/Dialog.h"
#include "resources/Templates.h"

namespace {

// A dialog on any template that records what reaches its handlers.
class Probe : public CDialog {
  public:
    explicit Probe(int templateId, bool endInInit = false)
        : CDialog(templateId), endInInit(endInInit) {}

    std::vector<std::string> log;
    int shows = 0;
    bool authoritative = true; // the scroll handler sets the bar to what it was given

  protected:
    bool OnInitDialog() override {
        log.push_back("init");
        if (endInInit) {
            EndDialog(IDCANCEL);
        }
        return true;
    }
    void OnOK() override {
        log.push_back("ok");
        CDialog::OnOK();
    }
    void OnCancel() override {
        log.push_back("cancel");
        CDialog::OnCancel();
    }
    void OnCommand(int id) override { log.push_back("command " + std::to_string(id)); }
    void OnSelChange(int id) override { log.push_back("sel " + std::to_string(id)); }
    void OnLButtonDown(const QPoint& p) override { Mouse("ldown", p); }
    void OnLButtonUp(const QPoint& p) override { Mouse("lup", p); }
    void OnRButtonDown(const QPoint& p) override { Mouse("rdown", p); }
    void OnMouseMove(const QPoint& p) override { Mouse("move", p); }
    void OnVScroll(int code, int pos, int barId) override { Scroll("v", code, pos, barId); }
    void OnHScroll(int code, int pos, int barId) override { Scroll("h", code, pos, barId); }
    void showEvent(QShowEvent* e) override {
        ++shows;
        CDialog::showEvent(e);
    }

  private:
    void Mouse(const char* what, const QPoint& p) {
        log.push_back(std::string(what) + " " + std::to_string(p.x()) + "," +
                      std::to_string(p.y()));
    }
    void Scroll(const char* dir, int code, int pos, int barId) {
        log.push_back(std::string(dir) + " " + std::to_string(code) + " " + std::to_string(pos) +
                      " " + std::to_string(barId));
        if (authoritative && code == SB_THUMBTRACK) {
            SetScrollPos(barId, pos);
        }
    }
    bool endInInit;
};

constexpr int AllTemplates[] = {100, 102, 129, 130};

TEST(DialogUnits, ConvertAtFixedBaseUnitsAndTruncate) {
    EXPECT_EQ(DluToPixelsX(4), 6);
    EXPECT_EQ(DluToPixelsY(8), 13);
    EXPECT_EQ(DluToPixelsX(51), 76);   // 76.5
    EXPECT_EQ(DluToPixelsY(186), 302); // 302.25
    EXPECT_EQ(DluToPixelsX(494), 741);
    EXPECT_EQ(DluToPixelsY(204), 331); // 331.5

    Probe maps(130);
    EXPECT_EQ(maps.size(), QSize(741, 331));
    EXPECT_EQ(maps.GetDlgItem(1030)->geometry(), QRect(628, 11, 102, 22));
    EXPECT_EQ(maps.windowTitle(), "Maps");
}

TEST(DialogLayout, EveryTemplateTextFitsItsControlAndNothingOverlaps) {
    for (int id : AllTemplates) {
        SCOPED_TRACE(id);
        Probe dlg(id);
        EXPECT_EQ(QFontInfo(dlg.font()).family(), DialogFontFamily);
        const QList<QWidget*> widgets = dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (QWidget* w : widgets) {
            if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
                SCOPED_TRACE(label->text().toStdString());
                EXPECT_LE(label->sizeHint().width(), label->width());
                EXPECT_LE(label->sizeHint().height(), label->height());
            }
            if (auto* button = qobject_cast<QPushButton*>(w)) {
                SCOPED_TRACE(button->text().toStdString());
                // Room for the text and the bevel on both sides.
                EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()) + 8,
                          button->width());
                EXPECT_LE(button->fontMetrics().height() + 4, button->height());
            }
            if (auto* group = qobject_cast<QGroupBox*>(w)) {
                EXPECT_LE(group->fontMetrics().horizontalAdvance(group->title()) + 16,
                          group->width());
            }
            EXPECT_TRUE(dlg.rect().contains(w->geometry()));
            // No control overlaps another, except controls lying wholly inside a frame.
            for (QWidget* other : widgets) {
                if (other == w || qobject_cast<QGroupBox*>(w) || qobject_cast<QGroupBox*>(other)) {
                    continue;
                }
                EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                    << w->metaObject()->className() << " and " << other->metaObject()->className();
            }
            if (auto* group = qobject_cast<QGroupBox*>(w)) {
                for (QWidget* other : widgets) {
                    if (other != w && other->geometry().intersects(group->geometry())) {
                        EXPECT_TRUE(group->geometry().contains(other->geometry()));
                    }
                }
            }
        }
    }
}

TEST(DialogLayout, ControlsStandWhereTheTemplateSaysInTemplateOrder) {
    for (int id : AllTemplates) {
        SCOPED_TRACE(id);
        Probe dlg(id);
        const res::DialogTemplate* tpl = res::FindTemplate(id);
        ASSERT_NE(tpl, nullptr);
        const QList<QWidget*> widgets = dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        ASSERT_EQ(static_cast<std::size_t>(widgets.size()), tpl->controls.size());
        QWidget* previousTabStop = nullptr;
        for (std::size_t i = 0; i < tpl->controls.size(); ++i) {
            const res::ControlTemplate& c = tpl->controls[i];
            QWidget* w = widgets[static_cast<qsizetype>(i)];
            SCOPED_TRACE(i);
            const QRect dlu(DluToPixelsX(c.x), DluToPixelsY(c.y), DluToPixelsX(c.cx),
                            DluToPixelsY(c.cy));
            EXPECT_EQ(w->pos(), dlu.topLeft());
            const bool sized = c.kind == res::Kind::Static || c.kind == res::Kind::Icon ||
                               c.kind == res::Kind::ComboBox;
            if (!sized) {
                EXPECT_EQ(w->size(), dlu.size());
            }
            if (c.id != res::NoId) {
                EXPECT_EQ(dlg.GetDlgItem(c.id), w);
            }
            if (c.tabStop) {
                if (previousTabStop != nullptr) {
                    QWidget* next = previousTabStop->nextInFocusChain();
                    while (next->focusPolicy() != Qt::StrongFocus) {
                        next = next->nextInFocusChain();
                    }
                    EXPECT_EQ(next, w);
                }
                previousTabStop = w;
            }
        }
    }
}

TEST(DialogLayout, MainWindowCarriesItsButtonsAndTheirTexts) {
    Probe dlg(102);
    auto* quit = dlg.Item<QPushButton>(IDOK);
    ASSERT_NE(quit, nullptr);
    EXPECT_TRUE(quit->isDefault());
    EXPECT_EQ(quit->text(), "Quit");
    EXPECT_EQ(dlg.GetDlgItemText(1026), "Maps");
    EXPECT_EQ(dlg.GetDlgItemText(1000), "Enemies");
    EXPECT_FALSE(dlg.Item<QPushButton>(1026)->isDefault());
    EXPECT_STREQ(res::LoadString(res::IDS_ABOUTBOX), "&About Atlasforge...");
    EXPECT_STREQ(res::LoadString(999), "");
    EXPECT_EQ(res::FindTemplate(101), nullptr);
}

TEST(DialogRun, EndDialogInsideInitReturnsAtOnceWithoutShowing) {
    Probe dlg(102, true);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.shows, 0);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.log, (std::vector<std::string>{"init"}));

    Probe again(102, true);
    EXPECT_FALSE(again.Create());
    EXPECT_EQ(again.shows, 0);
}

TEST(DialogRun, ButtonsKeysAndCloseBoxEndAsExpected) {
    {
        Probe dlg(102);
        ASSERT_TRUE(dlg.Create());
        QTest::mouseClick(dlg.GetDlgItem(1026), Qt::LeftButton);
        EXPECT_FALSE(dlg.Ended());
        QTest::mouseClick(dlg.GetDlgItem(IDOK), Qt::LeftButton);
        EXPECT_TRUE(dlg.Ended());
        EXPECT_EQ(dlg.EndResult(), IDOK);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.log, (std::vector<std::string>{"init", "command 1026", "ok"}));
    }
    {
        Probe dlg(102);
        ASSERT_TRUE(dlg.Create());
        QTest::keyClick(&dlg, Qt::Key_F1);
        EXPECT_FALSE(dlg.Ended());
        QTest::keyClick(&dlg, Qt::Key_Escape);
        EXPECT_EQ(dlg.EndResult(), IDCANCEL);
        EXPECT_EQ(dlg.log.back(), "cancel");
    }
    {
        Probe dlg(102);
        ASSERT_TRUE(dlg.Create());
        dlg.GetDlgItem(IDOK)->setFocus();
        QTest::keyClick(&dlg, Qt::Key_Return);
        EXPECT_EQ(dlg.EndResult(), IDOK);
    }
    {
        Probe dlg(102);
        ASSERT_TRUE(dlg.Create());
        dlg.close();
        EXPECT_TRUE(dlg.Ended());
        EXPECT_EQ(dlg.EndResult(), IDCANCEL);
        EXPECT_EQ(dlg.log.back(), "cancel");
    }
    {
        // Cancel (id 2) on the map editor's template, which has no default button.
        Probe dlg(130);
        ASSERT_TRUE(dlg.Create());
        QTest::mouseClick(dlg.GetDlgItem(IDCANCEL), Qt::LeftButton);
        EXPECT_EQ(dlg.EndResult(), IDCANCEL);
    }
}

TEST(DialogRun, InitialFocusIsTheFirstTabStop) {
    Probe dlg(102);
    ASSERT_TRUE(dlg.Create());
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    EXPECT_EQ(QApplication::focusWidget(), dlg.GetDlgItem(IDOK));
}

TEST(DialogMouse, FramesAndLabelsPassPressesToTheDialogControlsKeepTheirs) {
    Probe dlg(130);
    ASSERT_TRUE(dlg.Create());
    dlg.log.clear();
    // Inside the "Map" frame, and on the "Available Bytes:" label.
    QTest::mousePress(&dlg, Qt::LeftButton, {}, QPoint(163, 30));
    QTest::mouseRelease(&dlg, Qt::LeftButton, {}, QPoint(163, 30));
    QTest::mousePress(&dlg, Qt::RightButton, {}, QPoint(470, 306));
    // A right press on a push button stays with the button.
    QTest::mousePress(dlg.GetDlgItem(1030), Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(dlg.log, (std::vector<std::string>{"ldown 163,30", "lup 163,30", "rdown 470,306"}));

    // Movement without a button arrives; a release outside the window after a press on the
    // dialog still reaches it.
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
    dlg.log.clear();

    vbar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    vbar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    vbar->triggerAction(QAbstractSlider::SliderPageStepSub);
    vbar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    vbar->triggerAction(QAbstractSlider::SliderToMinimum);
    vbar->triggerAction(QAbstractSlider::SliderToMaximum);
    hbar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(dlg.log, (std::vector<std::string>{"v 0 100 1024", "v 1 100 1024", "v 2 100 1024",
                                                 "v 3 100 1024", "v 6 100 1024", "v 7 100 1024",
                                                 "h 1 0 1025"}));
    // The probe's handler moves the bar only on thumb tracking, so it stays put.
    EXPECT_EQ(vbar->value(), 100);
    EXPECT_EQ(hbar->value(), 0);

    // A thumb drag: tracking carries the position, the release reports it once more.
    dlg.log.clear();
    vbar->setSliderDown(true);
    vbar->setSliderPosition(57);
    vbar->setSliderDown(false);
    EXPECT_EQ(dlg.log, (std::vector<std::string>{"v 5 57 1024", "v 4 57 1024"}));
    EXPECT_EQ(dlg.GetScrollPos(1024), 57);

    // The end of a mouse action on the bar.
    dlg.log.clear();
    QTest::mouseRelease(hbar, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(dlg.log, (std::vector<std::string>{"h 8 0 1025"}));

    // Programmatic positions never notify, and stay inside the range.
    dlg.log.clear();
    dlg.SetScrollPos(1024, 300);
    EXPECT_EQ(dlg.GetScrollPos(1024), 240);
    EXPECT_TRUE(dlg.log.empty());
}

TEST(DialogSelection, OnlyTheUsersChangesNotify) {
    Probe dlg(130);
    ASSERT_TRUE(dlg.Create());
    dlg.log.clear();
    dlg.InsertString(1027, 0, "zero");
    dlg.InsertString(1027, 1, "two");
    dlg.InsertString(1027, 1, "one");
    dlg.InsertString(1027, -1, "three");
    auto* list = dlg.Item<QListWidget>(1027);
    ASSERT_EQ(list->count(), 4);
    EXPECT_EQ(list->item(1)->text(), "one");
    EXPECT_EQ(list->item(3)->text(), "three");
    EXPECT_EQ(dlg.GetCurSel(1027), -1);

    dlg.SetCurSel(1027, 2);
    EXPECT_EQ(dlg.GetCurSel(1027), 2);
    EXPECT_TRUE(dlg.log.empty());

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(3)).center());
    EXPECT_EQ(dlg.GetCurSel(1027), 3);
    EXPECT_EQ(dlg.log, (std::vector<std::string>{"sel 1027"}));

    dlg.SetCurSel(1027, 7);
    EXPECT_EQ(dlg.GetCurSel(1027), -1);
    EXPECT_EQ(dlg.log.size(), 1u);
}

TEST(DialogText, SetAndGetTextOfLabelsButtonsAndEmptyIds) {
    Probe dlg(130);
    dlg.SetDlgItemText(1029, "1234");
    EXPECT_EQ(dlg.GetDlgItemText(1029), "1234");
    dlg.SetDlgItemText(4242, "nothing there");
    EXPECT_EQ(dlg.GetDlgItemText(4242), "");
    EXPECT_EQ(dlg.GetDlgItem(4242), nullptr);
    dlg.InvalidateRect(QRect(0, 0, 4, 4), true);
    EXPECT_TRUE(dlg.LastInvalidateErased());
    dlg.InvalidateRect(QRect(0, 0, 4, 4), false);
    EXPECT_FALSE(dlg.LastInvalidateErased());
}

} // namespace
