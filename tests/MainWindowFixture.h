// The real main window, off-screen, on a temporary folder of pictures: what
// the window tests share (the folder, a fresh window for each test, and the
// user's moves: choosing a row, opening a folder, waiting for the decodes).
#pragma once

#include "GifOracle.h"
#include "PixelUtil.h"
#include "app/fMain.h"
#include "app/mSetup.h"
#include "imaging/mScaleImage.h"
#include "tests/TestDecoderPool.h"
#include "tests/WindowControls.h"

#include <QFile>
#include <QImage>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

// A pixel of a surface, the centre by default.
inline uint32_t Pixel(const cDIB& d, int x = -1, int y = -1) {
    return Pixel32(d, x < 0 ? d.Width() / 2 : x, y < 0 ? d.Height() / 2 : y);
}

class MainWindowFixture : public QObject {
  protected:
    // The shared folder: a still, misnamed files, GIFs, a broken file.
    void MakeFolder() {
        QImage still(640, 480, QImage::Format_RGB32);
        still.fill(Qt::green);
        Make(QStringLiteral("a-still.png"), still, "PNG");
        Make(QStringLiteral("anim.gif"), still, "PNG");    // a PNG under a GIF's name
        WriteGif(QStringLiteral("photo.bmp"), 24, 30, 20); // a GIF under a BMP's name
        WriteGif(QStringLiteral("single.gif"), 1, 8, 8);
        QFile text(dir_.filePath(QStringLiteral("broken.jpg")));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a picture");
        text.close();
        QImage small(40, 30, QImage::Format_RGB32);
        small.fill(Qt::blue);
        Make(QStringLiteral("z-small.png"), small, "PNG");
    }
    // A fresh window on the shared folder, its pictures decoded by `pool`
    // (the test program's by default).
    void OpenWindow(DecoderPool& pool = TestDecoderPool()) {
        setup_ = mSetup::Defaults();
        main_ = new fMain(state_, setup_, pool);
        main_->resize(900, 600);
        main_->show();
        QVERIFY(QTest::qWaitForWindowExposed(main_));
        Open(dir_.path());
    }
    void CloseWindow() {
        if (QPointer<fFullview> f = main_->OpenFullView()) delete f;
        delete main_;
    }

    QString Make(const QString& name, const QImage& image, const char* format) {
        const QString path = dir_.filePath(name);
        image.save(path, format);
        return path;
    }
    void WriteGif(const QString& name, int frames, int w, int h) {
        oracle::GifPlan s;
        s.width = w, s.height = h;
        s.global = {{255, 0, 0}, {0, 0, 255}};
        for (int i = 0; i < frames; ++i) {
            oracle::FramePlan f;
            f.width = w, f.height = h, f.delay = 10;
            f.indices.assign(std::size_t(w * h), uint8_t(i % 2));
            s.frames.push_back(f);
        }
        const std::vector<uint8_t> bytes = oracle::Encode(s);
        std::ofstream(dir_.filePath(name).toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    int RowOf(const QString& name) {
        for (int r = 0; r < Control<FileListView>(main_, "lvFiles")->Model()->rowCount(); ++r)
            if (Control<FileListView>(main_, "lvFiles")->Model()->NameText(r) == name) return r;
        return -1;
    }
    void Choose(const QString& name) {
        const int row = RowOf(name);
        QVERIFY2(row >= 0, qPrintable(name));
        Control<FileListView>(main_, "lvFiles")->SelectRow(row);
        main_->ChooseRow(row); // as the click on the row would
        WaitForQuiet();
    }
    // The folder is read on a worker: until its listing is over.
    void WaitForListing() { QTRY_VERIFY(!main_->Listing()); }
    void Open(const QString& folder) {
        state_.sCurrentPath = folder.toStdString();
        main_->nPathchange();
        WaitForListing();
    }
    QString Panel(int i) { return Control<StatusPanels>(main_, "sbInfo")->Text(i); }
    // Until the chosen picture is there and the reading ahead is over: no
    // decode runs and none waits for the pane to keep its size. A loaded
    // machine may take seconds for a few large pictures.
    void WaitForQuiet() { QTRY_VERIFY_WITH_TIMEOUT(main_->ReadAheadIdle(), kDecodesMs); }
    static constexpr int kDecodesMs = 30000;
    // Where a picture of w x h goes in the preview pane now.
    QSize FittedInPane(int w, int h) {
        const mScaleImage::Placement p =
            mScaleImage::FitInBox(w, h, Control<PicturePane>(main_, "imgPane")->Box().Width(),
                                  Control<PicturePane>(main_, "imgPane")->Box().Height(), 0, true);
        return {p.width, p.height};
    }

    QTemporaryDir dir_, other_;
    BrowsingState state_;
    SetupRecord setup_;
    fMain* main_ = nullptr;
};
