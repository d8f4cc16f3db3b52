#pragma once
#include "printing/ui/PrintScreenBase.h"

namespace zl::ui {

class BarcodePictureView;

// F_CustInput: prints every record, up to 300 labels per opening.
class ContinuousPrintScreen : public PrintScreenBase {
    Q_OBJECT
public:
    explicit ContinuousPrintScreen(QWidget *parent = nullptr);
    int capCounter() const { return m_capCounter; }

protected:
    void showLabelsLeft() override;

private:
    void startRun();
    void showRecord(const label::LabelFields &fields, int remaining);
    void loadAdjustments();

    QLabel *m_paper = nullptr;      // Label_YOSHI
    QLabel *m_remaining = nullptr;  // Label_PP
    QLineEdit *m_text[5] = {};      // Text1..Text5
    QLineEdit *m_text8 = nullptr;
    QLineEdit *m_size[3] = {};      // Textsize1..3
    BarcodePictureView *m_picture = nullptr; // Picture2
    bool m_adjustmentsLoaded = false;
};

} // namespace zl::ui
