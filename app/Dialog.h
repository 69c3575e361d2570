#pragma once

// CDialog: a modal dialog built from a template in resources/, with controls bound by id
// and Qt's events routed to On... handlers. The windows that have a template derive from
// it; the World window and the small dialogs are laid out by Qt.

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QString>
#include <map>

class QPainter;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Scroll codes, as the handlers receive them.
inline constexpr int SB_LINEUP = 0;
inline constexpr int SB_LINEDOWN = 1;
inline constexpr int SB_PAGEUP = 2;
inline constexpr int SB_PAGEDOWN = 3;
inline constexpr int SB_THUMBPOSITION = 4;
inline constexpr int SB_THUMBTRACK = 5;
inline constexpr int SB_TOP = 6;
inline constexpr int SB_BOTTOM = 7;
inline constexpr int SB_ENDSCROLL = 8;

// Dialog units to pixels at the fixed base units of 6 by 13 pixels.
inline constexpr int DluToPixelsX(int dlu) {
    return dlu * 6 / 4;
}
inline constexpr int DluToPixelsY(int dlu) {
    return dlu * 13 / 8;
}

// Every dialog uses this font. Its size is fixed in pixels, like the dialog units, so the
// layout and the text measure the same on any screen: 11 pixels is 8 points at 96 dpi.
inline constexpr const char* DialogFontFamily = "Liberation Sans";
inline constexpr int DialogFontPixels = 11;

class CDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CDialog(int templateId, QWidget* parent = nullptr);
    ~CDialog() override;

    // Builds the controls if not yet built, runs OnInitDialog, then the modal loop.
    // Returns IDOK or IDCANCEL (or whatever EndDialog was given). When OnInitDialog
    // called EndDialog, returns at once without showing the window.
    int DoModal();
    void EndDialog(int result);
    // The same initialisation without a modal loop: shows the window and returns at once.
    // Returns false, without showing anything, when OnInitDialog called EndDialog. For
    // tests and for windows driven from outside.
    bool Create();
    // True once EndDialog has run (the window is closed or about to close).
    bool Ended() const { return ended; }
    int EndResult() const { return endResult; }

    // The control with this id, or nullptr.
    QWidget* GetDlgItem(int id) const;
    template <class T> T* Item(int id) const { return qobject_cast<T*>(GetDlgItem(id)); }

    // Static texts, edit fields and buttons.
    void SetDlgItemText(int id, const QString& text);
    QString GetDlgItemText(int id) const;

    // List boxes (QListWidget) and combo boxes (QComboBox). Programmatic selection never
    // notifies OnSelChange; only the user's changes do.
    void InsertString(int id, int index, const QString& text);
    void SetCurSel(int id, int index);
    int GetCurSel(int id) const;

    // Scroll bars (QScrollBar): range 0..max and position, both redrawn.
    void SetScrollRange(int id, int minimum, int maximum);
    void SetScrollPos(int id, int pos);

    // Schedules a repaint of the rectangle. Qt repaints its background whole anyway, so
    // `erase` changes nothing.
    void InvalidateRect(const QRect& rect, bool erase);

  protected:
    // Return true to let the first tab stop take the focus.
    virtual bool OnInitDialog() { return true; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    virtual void OnPaint(QPainter& dc) { (void)dc; }
    virtual void OnLButtonDown(const QPoint& point) { (void)point; }
    virtual void OnLButtonUp(const QPoint& point) { (void)point; }
    virtual void OnMouseMove(const QPoint& point) { (void)point; }
    virtual void OnRButtonDown(const QPoint& point) { (void)point; }
    // code is one of SB_*; pos is the thumb position for SB_THUMBTRACK and
    // SB_THUMBPOSITION; barId is the scroll bar's control id.
    virtual void OnVScroll(int code, int pos, int barId) { (void)code, (void)pos, (void)barId; }
    virtual void OnHScroll(int code, int pos, int barId) { (void)code, (void)pos, (void)barId; }
    // A push button other than IDOK and IDCANCEL was clicked.
    virtual void OnCommand(int id) { (void)id; }
    // The user changed the selection of list box or combo box `id`.
    virtual void OnSelChange(int id) { (void)id; }

    // Qt plumbing, routed to the handlers above.
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void accept() override;

  private:
    void BuildControls();
    bool RunInit();
    void FitLabels();
    void RouteScroll(QWidget* bar, int code, int pos);

    int templateId;
    bool built = false;
    bool ended = false;
    int endResult = IDCANCEL;
    // Set while the layer itself changes a selection, so no OnSelChange fires.
    bool settingSelection = false;
    std::map<int, QWidget*> controls;
};
