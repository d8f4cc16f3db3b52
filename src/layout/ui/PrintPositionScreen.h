#pragma once
#include "layout/PrintAdjustment.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QSlider;

namespace zl::ui {

// Form13: moves everything a label prints and scales its fonts. The 99
// fields hold the whole adjustment table so that a save loses nothing.
class PrintPositionScreen : public QWidget {
public:
    PrintPositionScreen(const layout::AdjustmentLoad &load, QWidget *host);

private:
    void takeSliderPosition(int which);
    void save();
    QStringList values() const;

    QLineEdit *m_dbHolder[2] = {};
    QLineEdit *m_sizeHolder[3] = {};
    QLineEdit *m_carried[94] = {};
    QSlider *m_slider[3] = {};
    QLabel *m_value[3] = {};
    settings::StoredRecord m_stored;
};

} // namespace zl::ui
