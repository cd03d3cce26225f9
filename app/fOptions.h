// The options dialog: how the folder tree and the file list share their side
// of the main window, stacked or side by side. A choice takes effect on the
// main window at once; "&Apply" and "&Ok" store it in the settings file.
// Modeless, owned by the main window; destroyed when closed.
#pragma once

#include "app/mSetup.h"
#include "controls/Splitter.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <functional>

class fOptions : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kInnerWidthTwips = 4695;
    static constexpr int kInnerHeightTwips = 3435;
    static constexpr int kPictureSize = 50;

    // `setup`: the settings record the dialog shows and stores; `hSplit`:
    // the main window's splitter whose orientation the dialog sets.
    fOptions(SetupRecord& setup, Splitter* hSplit, QWidget* owner = nullptr);

    // Shows the settings record's values in the controls.
    void ShowSettings();
    // "&Apply" (0) and "&Ok" (1): store the choices and save the settings file.
    void cmdAction_Click(int Index);
    // A picture clicked: selects its option button.
    void Image_Click(int which);

    QLabel* lblOpts;
    QGroupBox* frsplitter1;
    QRadioButton* optSplitters[2];
    QLabel* Image1;
    QLabel* Image2;
    QCheckBox* ckOptions[2];
    QPushButton* cmdAction[2];

    // Saves the settings file; the real one unless replaced (tests).
    std::function<bool()> Save;

  protected:
    void keyPressEvent(QKeyEvent* e) override; // Esc is Cancel
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void Select(int option);
    void optSplitters_Click();

    SetupRecord& setup_;
    QPointer<Splitter> hSplit_;
};
