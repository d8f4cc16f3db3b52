#pragma once
#include "layout/ui/LayoutScreens.h"
#include "layout/PrintAdjustment.h"
#include "label/LabelFields.h"

#include <QWidget>

class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace zl::ui {

class LabelPreviewView;

// Form13: moves everything a label prints and scales its fonts. The 99
// fields hold the whole adjustment table so that a save loses nothing.
class PrintPositionScreen : public QWidget {
public:
    PrintPositionScreen(const layout::AdjustmentLoad &load, QWidget *host, CalibrationPrinting printCalibration = {});

    LabelPreviewView *preview() const { return m_preview; }
    // Beside the sliders, the first record's label at the sliders' positions.
    static constexpr int kPreviewWidthTwips = 5400;
    // Below the sliders: the calibration label and the numbers read off it.
    static constexpr int kCalibrationTwips = 1900;

private:
    void takeSliderPosition(int which);
    void addPreview();
    void showPaper();
    void showPreview();
    void save();
    QStringList values() const;
    // The calibration label, and the two numbers read off it.
    void addCalibration();
    void printCalibration();
    void applyCalibration();

    QLineEdit *m_dbHolder[2] = {};
    QLineEdit *m_sizeHolder[3] = {};
    QLineEdit *m_carried[94] = {};
    QSlider *m_slider[3] = {};
    QLabel *m_value[3] = {};
    LabelPreviewView *m_preview = nullptr;
    QPushButton *m_printCalibration = nullptr;
    CalibrationPrinting m_printCalibrationLabel;
    QDoubleSpinBox *m_reading[2] = {};
    QLabel *m_calibrationNote = nullptr;
    label::LabelFields m_record;
    QString m_withoutBarcode;
    bool m_hasRecord = false;
    settings::StoredRecord m_stored;
};

} // namespace zl::ui
