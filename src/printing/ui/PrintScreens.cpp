#include "printing/ui/PrintScreens.h"

#include "ui/ScreenPlacement.h"
#include "ui/Dialogs.h"
#include "ui/ScreenRegistry.h"
#include "ui/Widgets.h"
#include "datasource/DataSource.h"
#include "datasource/DataSourceModel.h"
#include "label/LabelFields.h"
#include "layout/Titles.h"
#include "printer/PaperSelection.h"
#include "printer/Printer.h"
#include "label/LabelPreview.h"
#include "label/ui/BarcodePreview.h"
#include "label/ui/LabelPreviewView.h"
#include "printing/ui/PrinterHooks.h"
#include "printing/ui/SheetBox.h"
#include "settings/SettingsTable.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QThread>
#include <exception>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace zl::ui {

namespace {

const QString kOpeningErrorTitle = QStringLiteral("設定エラー。データベースに接続できません。");

// A print run on a thread of its own, so that drawing, the printing
// system's answers and the final sync never hold up the windows; the screen
// waits for it with its events running (the progress window, modal, keeps
// everything but its cancel out of reach). What the run throws is thrown here.
printing::RunResult runOffThisThread(const std::function<printing::RunResult()> &run)
{
    printing::RunResult result;
    std::exception_ptr error;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        try {
            result = run();
        } catch (...) {
            error = std::current_exception();
        }
    }));
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec();
    thread->wait();
    if (error)
        std::rethrow_exception(error);
    return result;
}

} // namespace

// ---------------------------------------------------------------- base

PrintScreenBase::PrintScreenBase(QWidget *parent) : QWidget(parent, Qt::Window)
{
    m_grid = new QTableView(this);
    m_grid->setObjectName(QStringLiteral("DataGrid1"));
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->verticalHeader()->setDefaultSectionSize(20);
    m_status = label(this, "Label1");
    QFont sf(QStringLiteral("IPAPMincho"));
    sf.setBold(true);
    sf.setPointSizeF(11);
    m_status->setFont(sf);
    m_status->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_printerType = lineEdit(this, "Text999");
    m_db = lineEdit(this, "Textdb");
    m_table = lineEdit(this, "TextTT");
    m_preview = new BarcodePreview(this);
    m_preview->setObjectName(QStringLiteral("Picture1"));
    m_start = new QPushButton(this);
    m_start->setObjectName(QStringLiteral("Command3"));
    setDefaultButton(m_start);
    m_close = new QPushButton(this);
    m_close->setObjectName(QStringLiteral("閉じる"));
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
}

void PrintScreenBase::showDataSource(const QString &db1, const QString &db2)
{
    m_db->setText(db1);
    m_table->setText(db2);
    try {
        auto *model = new datasource::DataSourceModel(datasource::DataSource::open(db1, db2), m_grid);
        QAbstractItemModel *old = m_grid->model();
        m_grid->setModel(model);
        // The JAN column shows whole barcodes, the short columns their
        // texts; the product name takes what the window gives beyond them.
        for (int column = 0; column < model->columnCount(); ++column)
            if (column != 1)
                m_grid->resizeColumnToContents(column);
        if (model->columnCount() > 1)
            m_grid->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
        connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                [this](const QModelIndex &current) { showRecordLabel(current.row()); });
        showRecordLabel(0);
        if (m_sheetBox)
            m_sheetBox->refresh();
        if (old && old->parent() == m_grid)
            old->deleteLater();
    } catch (const Failure &) {
        // An empty grid: the data source cannot be shown.
        QAbstractItemModel *old = m_grid->model();
        m_grid->setModel(nullptr);
        if (old && old->parent() == m_grid)
            old->deleteLater();
        throw;
    }
}

void PrintScreenBase::loadDataSource()
{
    QString db1, db2;
    try {
        const QStringList ds = settings::ReadSettingsRecords(settings::kDataSourceTable, 2);
        db1 = ds[0];
        db2 = ds[1];
        showDataSource(db1, db2);
    } catch (const Failure &f) {
        showMessage(this, printing::dataSourceOpeningError(db1, db2, f), kOpeningErrorTitle, OkOnly);
    }
}

void PrintScreenBase::reportOpeningError(const Failure &failure)
{
    showMessage(this, failure.description(), kOpeningErrorTitle, OkOnly);
}

printing::RunHooks PrintScreenBase::commonHooks()
{
    printing::RunHooks hooks = printerSetupHooks(this);
    hooks.printerType = [this](const QString &t) { m_printerType->setText(t); };
    hooks.status = [this](const QString &t) { m_status->setText(t); };
    hooks.confirmCheck = [this](const printing::RunCheck &check) {
        return askToGoOn(this, check.text() + QStringLiteral("\n\nこのまま印刷しますか？"),
                         QStringLiteral("印刷の前の確認"), QStringLiteral("このまま印刷する"));
    };
    return hooks;
}

void PrintScreenBase::guardedRun(const std::function<void()> &run)
{
    // The renderer lets events run while it draws: a second click must not
    // start a second run inside the first.
    if (m_running)
        return;
    m_running = true;
    m_start->setEnabled(false);
    try {
        run();
    } catch (const Failure &f) {
        // The status must not go on saying that labels are printing.
        if (m_status->text() == printing::kStatusPrinting)
            m_status->setText(QStringLiteral("※印刷処理エラー!!"));
        showMessage(this, printing::kRunErrorPrefix + f.description(), QStringLiteral("ERROR"), Critical);
    }
    m_running = false;
    m_start->setEnabled(true);
    // The run moved the sheet's first free position on.
    if (m_sheetBox)
        m_sheetBox->refresh();
    if (m_closeAfterRun)
        close();
}

void PrintScreenBase::reportEnd(const printing::RunResult &r, bool sayCapStop)
{
    const std::optional<QString> report = printing::runReport(r, sayCapStop);
    if (report)
        showMessage(this, *report, printing::kEndTitle, Information);
    if (r.outcome == printing::RunOutcome::Finished)
        m_closeAfterRun = true; // closed once the run is over
}

void PrintScreenBase::closeEvent(QCloseEvent *event)
{
    if (m_running) {
        // Closing mid-run stops the run after the label being printed.
        label::LabelFields &fields = label::sharedLabelFields();
        fields.remainingLabels = qMin(fields.remainingLabels, 1);
        m_closeAfterRun = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

QLayout *PrintScreenBase::gridBesideLabelPreview()
{
    m_labelPreview = new LabelPreviewView(this);
    m_sheetBox = new SheetBox(this, [this](int i) -> std::optional<label::LabelFields> {
        auto *model = qobject_cast<datasource::DataSourceModel *>(m_grid->model());
        const int row = firstRunRow() + i;
        if (!model || row < 0 || row >= model->rowCount())
            return std::nullopt;
        return label::recordFields(model->source().fields(row, 4));
    });
    // The printer and paper the run will use, above the label drawn on it.
    m_printerInForce = new QLabel(printer::printerInForceText(), this);
    m_printerInForce->setObjectName(QStringLiteral("LabelPrinterInForce"));
    m_printerInForce->setWordWrap(true);
    auto *labels = new QVBoxLayout;
    labels->addWidget(m_printerInForce);
    labels->addWidget(m_labelPreview, 1);
    labels->addWidget(m_sheetBox);
    auto *row = new QHBoxLayout;
    row->addWidget(m_grid, 3);
    row->addLayout(labels, 2);
    return row;
}

void PrintScreenBase::showRecordLabel(int row)
{
    auto *model = qobject_cast<datasource::DataSourceModel *>(m_grid->model());
    if (!m_labelPreview || !model || row < 0 || row >= model->rowCount())
        return;
    try {
        if (const auto page = printer::pageInForce())
            m_labelPreview->setPaper(*page);
        m_printerInForce->setText(printer::printerInForceText());
        m_labelPreview->setTitles(layout::currentTitles());
        QString withoutBarcode;
        const label::LabelFields fields = label::recordFields(model->source().fields(row, 4), &withoutBarcode);
        m_labelPreview->showLabel(fields, withoutBarcode);
    } catch (const Failure &f) {
        m_labelPreview->showProblem(f.description());
    }
}

// ---------------------------------------------------------------- picture

BarcodePictureView::BarcodePictureView(QWidget *parent) : QWidget(parent)
{
    setMinimumSize(160, 40);
}

void BarcodePictureView::setPicture(const label::BarcodePicture &picture)
{
    m_picture = picture;
    update();
}

void BarcodePictureView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    if (m_picture.isNull())
        return;
    const qreal w = qMin<qreal>(width() - 4, (height() - 4) / m_picture.aspect());
    m_picture.paint(p, QPointF(2, 2), w);
}

// ---------------------------------------------------------------- continuous

ContinuousPrintScreen::ContinuousPrintScreen(QWidget *parent) : PrintScreenBase(parent)
{
    setWindowTitle(QStringLiteral("Zenlabo　for CSV"));
    m_start->setText(QStringLiteral("連続印刷実行スタート"));
    m_close->setText(QStringLiteral("終了"));
    m_paper = label(this, "Label_YOSHI");
    m_remaining = label(this, "Label_PP");
    static const char *names[] = {"Text1", "Text2", "Text3", "Text4", "Text5"};
    for (int i = 0; i < 5; ++i) {
        m_text[i] = lineEdit(this, names[i]);
        m_text[i]->setReadOnly(true);
    }
    m_text8 = lineEdit(this, "Text8");
    m_text8->setReadOnly(true);
    static const char *sizeNames[] = {"Textsize1", "Textsize2", "Textsize3"};
    for (int i = 0; i < 3; ++i)
        m_size[i] = lineEdit(this, sizeNames[i]);
    m_picture = new BarcodePictureView(this);
    m_picture->setObjectName(QStringLiteral("Picture2"));

    // The holders keep values for the run; the operator sees the record.
    for (QWidget *w : {static_cast<QWidget *>(m_printerType), static_cast<QWidget *>(m_db),
                       static_cast<QWidget *>(m_table), static_cast<QWidget *>(m_paper),
                       static_cast<QWidget *>(m_size[0]), static_cast<QWidget *>(m_size[1]),
                       static_cast<QWidget *>(m_size[2]), static_cast<QWidget *>(m_text[4])})
        w->hide();

    auto *record = new QGridLayout;
    const QString captions[] = {QStringLiteral("JAN"), QStringLiteral("表示1"), QStringLiteral("表示2"),
                                QStringLiteral("価格")};
    for (int i = 0; i < 4; ++i) {
        record->addWidget(new QLabel(captions[i], this), i, 0);
        record->addWidget(m_text[i], i, 1);
    }
    record->addWidget(new QLabel(QStringLiteral("数字"), this), 4, 0);
    record->addWidget(m_text8, 4, 1);
    auto *pictures = new QVBoxLayout;
    pictures->addWidget(m_preview, 1);
    pictures->addWidget(m_picture, 1);
    auto *middle = new QHBoxLayout;
    middle->addLayout(record, 3);
    middle->addLayout(pictures, 2);
    auto *counter = new QHBoxLayout;
    counter->addWidget(m_status, 1);
    counter->addWidget(new QLabel(QStringLiteral("残り"), this));
    counter->addWidget(m_remaining);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_start, 1);
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(gridBesideLabelPreview(), 1);
    layout->addLayout(middle);
    layout->addLayout(counter);
    layout->addLayout(buttons);

    resize(twips(7500), twips(5850));
    move(twips(10), twips(10));
    m_status->clear();
    m_capCounter = printing::kLabelsPerOpening;
    connect(m_start, &QPushButton::clicked, this, &ContinuousPrintScreen::startRun);
    try {
        loadAdjustments();
    } catch (const Failure &f) {
        // The screen stays open; a run tries the adjustments again and
        // reports them if they still cannot be read.
        reportOpeningError(f);
        return;
    }
    loadDataSource();
}

void ContinuousPrintScreen::loadAdjustments()
{
    printing::loadAdjustmentsIntoLabelFields();
    const label::LabelFields &f = label::sharedLabelFields();
    m_size[0]->setText(f.adjustX);
    m_size[1]->setText(f.adjustY);
    m_size[2]->setText(f.adjustS);
    m_adjustmentsLoaded = true;
}

void ContinuousPrintScreen::showRecord()
{
    const label::LabelFields &f = label::sharedLabelFields();
    m_text[0]->setText(f.barcodeValue);
    m_text[1]->setText(f.secondText);
    m_text[2]->setText(f.thirdText);
    m_text[3]->setText(f.price);
    m_text[4]->setText(label::janBarcodeText(f.barcodeValue));
    m_text8->setText(f.digitsSource);
    m_picture->setPicture(f.barcode);
    m_preview->setParameters(label::BarcodeParameters::forRecords());
    m_remaining->setText(QString::number(f.remainingLabels));
}

void ContinuousPrintScreen::startRun()
{
    guardedRun([this] {
        if (!m_adjustmentsLoaded)
            loadAdjustments();
        label::LabelFields &fields = label::sharedLabelFields();
        m_remaining->setText(QString::number(m_capCounter));
        printing::RunHooks hooks = commonHooks();
        hooks.paper = [this](const QString &p) { m_paper->setText(p); };
        hooks.dataSource = [this](const QString &db1, const QString &db2) { showDataSource(db1, db2); };
        hooks.recordPrepared = [this](int) { showRecord(); };
        printing::ProgramRunServices services(printing::hooksOnThreadOf(this, hooks));
        const printing::RunResult r = [&] {
            struct ShowCounter {
                ContinuousPrintScreen *s;
                ~ShowCounter() { s->m_remaining->setText(QString::number(label::sharedLabelFields().remainingLabels)); }
            } show{this};
            return runOffThisThread([&] { return printing::runContinuous(services, m_capCounter, fields.remainingLabels); });
        }();
        reportEnd(r);
    });
}

// ---------------------------------------------------------------- partial

PartialPrintScreen::PartialPrintScreen(QWidget *parent) : PrintScreenBase(parent)
{
    setWindowTitle(QStringLiteral("Zenlabo　for CSV 部分印刷"));
    m_start->setText(QStringLiteral("印刷実行開始"));
    m_close->setText(QStringLiteral("閉じる"));
    m_from = lineEdit(this, "TextPP1");
    m_to = lineEdit(this, "TextPP2");
    m_spec = lineEdit(this, "Text5");
    for (QLineEdit *bound : {m_from, m_to}) {
        bound->setFixedWidth(52); // six digits; the screen stays 500 px wide
        bound->setAlignment(Qt::AlignRight);
    }
    for (QWidget *w : {static_cast<QWidget *>(m_printerType), static_cast<QWidget *>(m_db),
                       static_cast<QWidget *>(m_table), static_cast<QWidget *>(m_spec)})
        w->hide();
    m_spec->setText(label::previewBarcodeText());

    auto *range = new QHBoxLayout;
    range->addWidget(label(this, "Label3", QStringLiteral("※印刷行を指定してください。")));
    range->addWidget(m_from);
    range->addWidget(new QLabel(QStringLiteral("行から"), this));
    range->addWidget(m_to);
    range->addWidget(new QLabel(QStringLiteral("行まで"), this));
    range->addStretch(1);
    auto *bottom = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    left->addLayout(range);
    left->addWidget(m_status);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_start, 1);
    buttons->addWidget(m_close);
    left->addLayout(buttons);
    bottom->addLayout(left, 3);
    bottom->addWidget(m_preview, 2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(gridBesideLabelPreview(), 1);
    layout->addLayout(bottom);

    resize(twips(7500), twips(5175));
    move(twips(10), twips(10));
    m_status->clear();
    m_capCounter = printing::kLabelsPerOpening;
    loadDataSource();
    connect(m_start, &QPushButton::clicked, this, &PartialPrintScreen::startRun);
    connect(m_from, &QLineEdit::editingFinished, m_sheetBox, &SheetBox::refresh);
}

int PartialPrintScreen::firstRunRow() const
{
    bool ok = false;
    const int from = m_from->text().trimmed().toInt(&ok);
    return ok && from > 1 ? from - 1 : 0;
}

void PartialPrintScreen::startRun()
{
    guardedRun([this] {
        label::LabelFields &fields = label::sharedLabelFields();
        // The continuous screen, when open, holds the adjustments it loaded;
        // otherwise they are read as it would read them.
        if (!ScreenRegistry::instance().find(QStringLiteral("F_CustInput")))
            printing::loadAdjustmentsIntoLabelFields();
        printing::RunHooks hooks = commonHooks();
        hooks.recordPrepared = [this](int) { m_preview->setParameters(label::BarcodeParameters::forRecords()); };
        printing::ProgramRunServices services(printing::hooksOnThreadOf(this, hooks));
        const QString from = m_from->text(), to = m_to->text();
        const printing::RunResult r = runOffThisThread(
            [&] { return printing::runPartial(services, m_capCounter, fields.remainingLabels, from, to); });
        reportEnd(r, true);
    });
}

void registerPrintRunScreens(ScreenRegistry &registry)
{
    registry.add(QStringLiteral("F_CustInput"), [](QWidget *host) { return new ContinuousPrintScreen(host); });
    registry.add(QStringLiteral("F_CustInput2"), [](QWidget *host) { return new PartialPrintScreen(host); });
}

} // namespace zl::ui
