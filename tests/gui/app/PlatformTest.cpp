#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/ImageList.h"
#include "app/Platform.h"

namespace {

// Runs `check` on the modal window that opens next, from inside its own event loop.
template <class Window, class Check> void WhenModalOpens(Check check) {
    QTimer::singleShot(0, [check] {
        auto* w = qobject_cast<Window*>(QApplication::activeModalWidget());
        ASSERT_NE(w, nullptr);
        check(w);
    });
}

TEST(MessageBox, WarningWithOneOkCaptionedWithTheProgramNameAndReplaceable) {
    std::vector<QString> shown;
    WhenModalOpens<QMessageBox>([&shown](QMessageBox* box) {
        shown.push_back(box->text());
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->windowTitle(), "atlasforge-app-tests");
        EXPECT_EQ(box->buttons().size(), 1);
        box->button(QMessageBox::Ok)->click();
    });
    app::MessageBox("Two\nlines");
    EXPECT_EQ(shown, std::vector<QString>{"Two\nlines"});

    std::vector<QString> recorded;
    app::SetMessageBoxFunction([&recorded](const QString& t) { recorded.push_back(t); });
    app::MessageBox("first");
    app::SetMessageBoxFunction({});
    EXPECT_EQ(recorded, std::vector<QString>{"first"});
}

TEST(OpenFileDialog, RomFilesFirstFullPathOrNothingAndReplaceable) {
    QTemporaryDir dir;
    const QString rom = dir.filePath("game.nes");
    QFile(rom).open(QIODevice::WriteOnly);
    WhenModalOpens<QFileDialog>([&rom](QFileDialog* dlg) {
        EXPECT_EQ(dlg->windowTitle(), "Open");
        EXPECT_EQ(dlg->acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(dlg->defaultSuffix(), "nes");
        EXPECT_EQ(dlg->nameFilters(), (QStringList{"NES ROM Files (*.nes)", "All Files (*)"}));
        EXPECT_EQ(dlg->selectedNameFilter(), "NES ROM Files (*.nes)");
        EXPECT_EQ(dlg->parentWidget(), nullptr);
        dlg->selectFile(rom);
        static_cast<QDialog*>(dlg)->accept(); // QFileDialog hides its accept()
    });
    EXPECT_EQ(app::GetOpenFileName(), rom);
    WhenModalOpens<QFileDialog>([](QFileDialog* dlg) { dlg->reject(); });
    EXPECT_FALSE(app::GetOpenFileName().has_value());

    app::SetOpenFileFunction([] { return std::optional<QString>("/somewhere/rom.nes"); });
    EXPECT_EQ(app::GetOpenFileName(), QString("/somewhere/rom.nes"));
    app::SetOpenFileFunction({});
}

TEST(ImageList, ConvertsBgrPixelsAndDrawsOpaque) {
    CImageList list;
    EXPECT_FALSE(list.Create(0, 16, 8, 128, 0));
    ASSERT_TRUE(list.Create(16, 16, 8, 128, 0));
    std::vector<uint32_t> pixels(256, 0x00563412); // red 0x12, green 0x34, blue 0x56
    pixels[1] = 0x010101;                          // the mask colour stays a colour
    pixels[255] = 0x00FF0000;                      // pure blue
    EXPECT_EQ(list.AddMasked(pixels.data(), 0x010101), 0);
    std::vector<uint32_t> red(256, 0x000000FF);
    EXPECT_EQ(list.AddMasked(red.data(), 0x010101), 1);

    QImage canvas(40, 40, QImage::Format_RGB32);
    canvas.fill(qRgb(200, 200, 200));
    {
        QPainter p(&canvas);
        list.Draw(p, 0, QPoint(10, 20));
        list.Draw(p, 7, QPoint(0, 0)); // no such image: nothing drawn
    }
    EXPECT_EQ(canvas.pixel(10, 20), qRgb(0x12, 0x34, 0x56));
    EXPECT_EQ(canvas.pixel(11, 20), qRgb(1, 1, 1));
    EXPECT_EQ(canvas.pixel(25, 35), qRgb(0, 0, 0xFF));
    EXPECT_EQ(canvas.pixel(9, 20), qRgb(200, 200, 200));
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(200, 200, 200));

    EXPECT_TRUE(list.Remove(0));
    ASSERT_EQ(list.GetImageCount(), 1);
    EXPECT_EQ(list.Image(0).pixel(3, 3), qRgb(0xFF, 0, 0));
    EXPECT_FALSE(list.Remove(5));
    EXPECT_TRUE(list.Remove(-1));
    EXPECT_EQ(list.GetImageCount(), 0);
}

} // namespace
