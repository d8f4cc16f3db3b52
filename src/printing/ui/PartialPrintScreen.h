#pragma once
#include "printing/ui/PrintScreenBase.h"

namespace zl::ui {

// F_CustInput2: prints the rows of a range.
class PartialPrintScreen : public PrintScreenBase {
    Q_OBJECT
public:
    explicit PartialPrintScreen(QWidget *parent = nullptr);

private:
    void startRun();
    int firstRunRow() const override;

    QLineEdit *m_from = nullptr; // TextPP1
    QLineEdit *m_to = nullptr;   // TextPP2
    QLineEdit *m_spec = nullptr; // Text5
};

} // namespace zl::ui
