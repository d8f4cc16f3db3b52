#pragma once
// The A4 label sheets beside the printer's papers on the printer and paper
// screen: "no sheet" first, then every sheet by its readable name.
#include <QListWidget>

namespace zl::ui {

class SheetList : public QListWidget {
    Q_OBJECT
public:
    // Shows the stored choice selected (none when it cannot be read).
    explicit SheetList(QWidget *parent);
    // The chosen sheet's id; empty for no sheet.
    QString sheetId() const;
    void setSheetId(const QString &id);

signals:
    // The operator picked an entry (not sent for setSheetId).
    void sheetChosen(const QString &id);
};

} // namespace zl::ui
