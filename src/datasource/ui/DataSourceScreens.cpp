#include "datasource/ui/DataSourceScreens.h"

#include "ui/ScreenPlacement.h"
#include "ui/Dialogs.h"
#include "ui/ScreenRegistry.h"
#include "ui/Widgets.h"
#include "common/Failure.h"
#include "datasource/DataSource.h"
#include "printer/PrinterNews.h"
#include "settings/Defaults.h"
#include "settings/SettingsTable.h"
#include "settings/StoredSettings.h"

#include <QDir>
#include <algorithm>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zl::ui {

namespace {

const QString kSettingsErrorTitle = QStringLiteral("設定エラー");

QString shownFolder(const QString &db1)
{
    return QDir::toNativeSeparators(datasource::dataFolderPath(db1));
}

// A folder of this system, as the operator would type one.
QString folderExample()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\Mydata\\");
#else
    return QDir::toNativeSeparators(QDir::homePath() + QStringLiteral("/Mydata/"));
#endif
}

QLabel *hiddenLabel(QWidget *parent, const char *name)
{
    QLabel *l = label(parent, name, QString());
    l->hide();
    return l;
}

} // namespace

namespace {
constexpr int kWidestFolderField = 900;
}

DataSourceScreen::DataSourceScreen(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("データベース設定 CSV"));
    move(twips(10), twips(10));
    resize(twips(7125), twips(5235));

    auto *heading = label(this, "Label111", QStringLiteral("データベース接続  (CSV バージョン)設定"));
    QFont hf = heading->font();
    hf.setPointSizeF(13);
    hf.setBold(true);
    heading->setFont(hf);

    auto *frame = new QGroupBox(QStringLiteral("CSV"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    auto *grid = new QGridLayout(frame);
    grid->setColumnStretch(1, 1);

    grid->addWidget(label(frame, "Label5", QStringLiteral("接続設定項目")), 0, 0, 1, 3);

    grid->addWidget(label(frame, "Label2", QStringLiteral("接続CSV(ﾌｧｲﾙﾊﾟｽ)")), 1, 0);
    m_text1 = new QLineEdit(frame);
    m_text1->setObjectName(QStringLiteral("Text1"));
    // The field widens to show the whole folder (the screen with it), up to
    // what a 1366-pixel laptop screen holds; beyond that it scrolls and its
    // tip shows the folder whole.
    connect(m_text1, &QLineEdit::textChanged, m_text1, [this](const QString &folder) {
        m_text1->setToolTip(folder);
        const int wanted = m_text1->fontMetrics().horizontalAdvance(folder) + 16;
        m_text1->setMinimumWidth(std::min(wanted, kWidestFolderField));
    });
    grid->addWidget(m_text1, 1, 1);
    auto *command1 = button(frame, "Command1", QStringLiteral("参照"));
    grid->addWidget(command1, 1, 2);
    grid->addWidget(label(frame, "Label6", QStringLiteral("(例　%1)").arg(folderExample())), 2, 1, 1, 2);

    grid->addWidget(label(frame, "Label9", QStringLiteral("データテーブル名")), 3, 0);
    m_text4 = new QLineEdit(frame);
    m_text4->setObjectName(QStringLiteral("Text4"));
    grid->addWidget(m_text4, 3, 1);
    grid->addWidget(label(frame, "Label10", QStringLiteral("(例　barcodelist.csv)")), 4, 1, 1, 2);

    auto *note = label(frame, "Label3", QStringLiteral("注意:CSVﾌｧｲﾙはヘッダー部分有りで設定してあります。"));
    note->setStyleSheet(QStringLiteral("color: #a00000;"));
    grid->addWidget(note, 5, 0, 1, 3);

    auto *command2 = button(this, "Command2", QStringLiteral("ﾃﾞｰﾀﾍﾞｰｽ接続テスト=>設定変更"));
    auto *command4 = button(this, "Command4", QStringLiteral("設定変更ﾎﾞﾀﾝ"));
    auto *command3 = button(this, "Command3", QStringLiteral("ﾃﾞｰﾀﾍﾞｰｽｻﾝﾌﾟﾙ"));
    // Enter saves only what the connection test accepts.
    setDefaultButton(command2);

    // The count of the last test, and the pair as read back from the table.
    m_label1 = label(this, "Label1", QString());
    QFont cf = m_label1->font();
    cf.setBold(true);
    m_label1->setFont(cf);
    m_labeldb = label(this, "Labeldb", QString());
    m_labelpass = label(this, "Labelpass", QString());
    for (QLabel *l : {m_labeldb, m_labelpass}) {
        l->setStyleSheet(QStringLiteral("color: #555555;"));
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    hiddenLabel(this, "Labeltb");
    hiddenLabel(this, "Labelsql");
    hiddenLabel(this, "Labeluser");

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(frame);
    auto *testRow = new QHBoxLayout;
    testRow->addWidget(command2);
    testRow->addWidget(label(this, "Label1caption", QStringLiteral("件数:")));
    testRow->addWidget(m_label1, 1);
    layout->addLayout(testRow);
    auto *readBack = new QHBoxLayout;
    readBack->addWidget(m_labeldb, 1);
    readBack->addWidget(m_labelpass, 1);
    layout->addLayout(readBack);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(command3);
    bottom->addStretch(1);
    bottom->addWidget(command4);
    layout->addLayout(bottom);

    connect(command1, &QPushButton::clicked, this, &DataSourceScreen::browse);
    connect(command2, &QPushButton::clicked, this, &DataSourceScreen::saveAndTest);
    connect(command4, &QPushButton::clicked, this, &DataSourceScreen::saveAndClose);
    connect(command3, &QPushButton::clicked, this, [] { ScreenRegistry::instance().show(QStringLiteral("Form12")); });

    try {
        const settings::SettingsRecord record = settings::QuerySettingsTable(settings::kDataSourceTable);
        m_text1->setText(shownFolder(record.value(QStringLiteral("DB1"))));
        m_text4->setText(record.value(QStringLiteral("DB2")));
    } catch (const Failure &f) {
        // The screen is where a broken data-source table gets fixed, so it
        // still opens, with empty fields, after saying what was wrong.
        showMessage(parent, f.description(), kSettingsErrorTitle, OkOnly);
    }
}

void DataSourceScreen::browse()
{
    const std::optional<QString> chosen =
        chooseFileToOpen(this, m_text1->text().isEmpty() ? QString() : datasource::dataFolderPath(m_text1->text()));
    if (!chosen)
        return;
    const QFileInfo file(*chosen);
    m_text1->setText(QDir::toNativeSeparators(file.absolutePath()));
    m_text4->setText(file.fileName());
}

bool DataSourceScreen::refuseEmpty()
{
    if (!m_text1->text().isEmpty() && !m_text4->text().isEmpty())
        return false;
    showMessage(this, QStringLiteral("C5255 空欄があります。更新できません"), QStringLiteral("ﾌﾟﾛｸﾞﾗﾑｴﾗｰ"),
                Exclamation);
    return true;
}

void DataSourceScreen::save()
{
    settings::writeDataSource({m_text1->text(), m_text4->text()});
    // The main menu names the file the next run reads.
    printer::PrinterInForceNews::instance().tell();
}

void DataSourceScreen::saveAndTest()
{
    if (refuseEmpty())
        return;
    // A failed test must not leave the last file's count beside this one.
    m_label1->clear();
    try {
        save();
        // The test reads what was stored, not what was typed: it proves the
        // table the other screens will read.
        const settings::StoredDataSource stored = settings::readDataSource();
        m_labeldb->setText(shownFolder(stored.folder));
        m_labelpass->setText(stored.file);
        const qsizetype count = datasource::countRecords(stored.folder, stored.file);
        m_label1->setText(QString::number(count));
        if (m_label1->text().toLongLong() >= 0)
            showMessage(this, QStringLiteral("接続できました。"), QStringLiteral("ステータス"), Information);
        else
            showMessage(this, QStringLiteral("接続できましたが、ファイルの内容が無効です。"),
                        QStringLiteral("ステータス"), Critical);
    } catch (const Failure &f) {
        showMessage(this, f.description(), kSettingsErrorTitle, OkOnly);
    }
}

void DataSourceScreen::saveAndClose()
{
    if (refuseEmpty())
        return;
    try {
        save();
    } catch (const Failure &f) {
        // Nothing was written; the operator's entries stay for correcting.
        showMessage(this, f.description(), kSettingsErrorTitle, OkOnly);
        return;
    }
    m_text1->clear();
    m_text4->clear();
    QWidget *owner = parentWidget();
    close();
    showMessage(owner, QStringLiteral("設定が変更されました｡アプリケーションを再起動してください。"),
                QStringLiteral("設定変更"), Information);
}

RecordCountScreen::RecordCountScreen(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("データ件数確認"));
    move(twips(10), twips(10));
    setFixedSize(twips(7500), twips(2600));

    auto *labeldb = label(this, "Labeldb", QString());
    auto *labeltb = label(this, "Labeltb", QString());
    for (QLabel *l : {labeldb, labeltb})
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *label1 = label(this, "Label1", QString());
    QFont big = label1->font();
    big.setPointSizeF(24);
    big.setBold(true);
    label1->setFont(big);
    label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *label2 = label(this, "Label2", QStringLiteral("件"));
    QFont unit = label2->font();
    unit.setPointSizeF(14);
    label2->setFont(unit);
    auto *command1 = button(this, "Command1", QStringLiteral("閉じる"));
    setDefaultButton(command1);
    hiddenLabel(this, "Labeldb2");
    hiddenLabel(this, "Label4");

    auto *grid = new QGridLayout(this);
    grid->setColumnStretch(1, 1);
    grid->addWidget(label(this, "Label3", QStringLiteral("接続中CSV(ﾌｧｲﾙﾊﾟｽ)")), 0, 0);
    grid->addWidget(labeldb, 0, 1, 1, 3);
    grid->addWidget(labeltb, 1, 1, 1, 3);
    grid->addWidget(label1, 2, 1, 1, 2);
    grid->addWidget(label2, 2, 3);
    grid->addWidget(command1, 3, 3);
    grid->setRowStretch(2, 1);
    connect(command1, &QPushButton::clicked, this, &QWidget::close);

    try {
        const settings::StoredDataSource stored = settings::readDataSource();
        labeldb->setText(shownFolder(stored.folder));
        labeltb->setText(stored.file);
        label1->setText(QString::number(datasource::countRecords(stored.folder, stored.file)));
    } catch (const Failure &f) {
        // The fixed request, then what exactly is wrong.
        showMessage(parent,
                    QStringLiteral("DBの設定が不正です。設定し直して下さい[設定]-[ﾃﾞｰﾀﾍﾞｰｽ]より設定できます。\n\n")
                        + f.description(),
                    QStringLiteral("ERROR"), Exclamation);
        throw;
    }
}

void registerDataSourceScreens(ScreenRegistry &registry)
{
    registry.add(QStringLiteral("setOracle"), [](QWidget *host) { return new DataSourceScreen(host); });
    registry.add(QStringLiteral("Form6"), [](QWidget *host) { return new RecordCountScreen(host); });
}

} // namespace zl::ui
