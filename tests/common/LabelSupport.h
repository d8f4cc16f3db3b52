#pragma once
#include "Zbar.h"
// Doubles and helpers the label and printing tests share.
#include "pdf/PdfPrinter.h"
#include "label/LabelRenderer.h"

#include <QImage>
#include <QStringList>
#include <functional>

namespace zltest {

// A printer that keeps every document it is given instead of writing it
// (50 × 30 mm, the PDF printer's paper).
class KeepingPrinter : public zl::printer::PdfPrinter {
public:
    explicit KeepingPrinter(QList<QList<QPicture>> *documents) : PdfPrinter(QStringLiteral("/nonexistent")), m_documents(documents) {}
    void printDocument(const QList<QPicture> &pages) override { m_documents->append(pages); }
    zl::printer::RunPrinterMaker runPrinterMaker() const override
    {
        return [documents = m_documents, copy = runCopy()] {
            auto run = std::make_unique<KeepingPrinter>(documents);
            run->takeOver(copy);
            return run;
        };
    }

private:
    QList<QList<QPicture>> *m_documents;
};

// A progress window that remembers what it was told; `onEvents` runs where
// the real window would let a click in.
// What a label's drawing tells: the bar's texts after its first (empty)
// one; `onStep` runs at every cancel check.
struct ProgressDouble {
    QStringList texts;
    std::function<void()> onStep;
    zl::label::LabelSteps steps()
    {
        zl::label::LabelSteps s;
        s.progress = [this](const QString &bar) {
            if (!bar.isEmpty() || started++)
                texts << bar;
        };
        s.cancelled = [this] {
            if (onStep)
                onStep();
            return cancelled;
        };
        return s;
    }
    bool cancelled = false;
    int started = 0;
};

// The label fields of a record, X/Y/S as given.
zl::label::LabelFields labelFor(const QStringList &columns, const QString &x = QStringLiteral("0"),
                                   const QString &y = QStringLiteral("0"), const QString &s = QStringLiteral("0"));


// Renders a label at `dpi` and returns its (first) page image.
QImage renderLabel(zl::label::LabelFields &fields, int dpi);

} // namespace zltest
