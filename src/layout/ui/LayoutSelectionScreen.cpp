#include "layout/ui/LayoutSelectionScreen.h"

#include "ui/ScreenPlacement.h"
#include "ui/Dialogs.h"
#include "ui/ScreenRegistry.h"
#include "common/Failure.h"
#include "info/WebPages.h"
#include "layout/ui/LayoutScreens.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace zl::ui {

namespace {

const QString kMincho = QStringLiteral("IPAPMincho");

template <typename W> W *named(W *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QFont minchoFont(qreal points, bool bold = false)
{
    QFont f(kMincho);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

} // namespace

LayoutSelectionScreen::LayoutSelectionScreen(const layout::LayoutFields &fields, QWidget *host)
    : QWidget(host, Qt::Window), m_stored(fields.stored)
{
    setWindowTitle(QStringLiteral("設定　出力レイアウト選択"));

    auto *heading = named(new QLabel(QStringLiteral("出力レイアウト選択"), this), "Label1");
    heading->setFont(minchoFont(12, true));

    static const char *const textNames[] = {"Text1", "Text2", "Text3", "Text4", "Text5", "Text6"};
    for (int i = 0; i < 6; ++i)
        m_text[i] = named(new QLineEdit(this), textNames[i]);
    m_text[2]->setEnabled(false);
    m_text[3]->setEnabled(false);
    // Paper and connection type belong to other screens; this one only carries them.
    m_text[4]->hide();
    m_text[5]->hide();

    m_option[0] = named(new QRadioButton(QStringLiteral("ラベルシール"), this), "Option1_0");
    m_option[1] = named(new QRadioButton(QStringLiteral("ｶｽﾀﾏｲｽﾞ5255　家具統一伝票　(C5255仕様)"), this), "Option1_1");
    m_option[2] = named(new QRadioButton(QStringLiteral("カスタマイズ2"), this), "Option1_2");
    m_option[3] = named(new QRadioButton(QStringLiteral("カスタマイズ設定【無効】"), this), "Option1_3");
    m_option[2]->setEnabled(false);
    m_option[3]->setEnabled(false);
    for (int i = 0; i < 4; ++i)
        m_option[i]->setProperty("index", i);
    // The frame's options and the window's options are two separate choices.
    auto *frameGroup = new QButtonGroup(this);
    frameGroup->addButton(m_option[0], 0);
    frameGroup->addButton(m_option[3], 3);
    auto *windowGroup = new QButtonGroup(this);
    windowGroup->addButton(m_option[1], 1);
    windowGroup->addButton(m_option[2], 2);

    m_current = named(new QLabel(this), "Label3");
    m_current->setStyleSheet(QStringLiteral("QLabel { color: #000080; font-weight: bold; }"));

    auto *frame = named(new QGroupBox(QStringLiteral("レイアウト選択項目"), this), "Frame1");
    auto *grid = new QGridLayout(frame);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    grid->setHorizontalSpacing(10);
    grid->addWidget(m_option[0], 0, 0);
    grid->addWidget(named(new QLabel(QStringLiteral("SIZE 標準ﾀｲﾌﾟ"), frame), "Label6"), 0, 1, 1, 2);
    grid->addWidget(named(new QLabel(QStringLiteral("タイトル1"), frame), "Label4"), 1, 0, Qt::AlignRight);
    grid->addWidget(m_text[0], 1, 1, 1, 2);
    grid->addWidget(named(new QLabel(QStringLiteral("タイトル2"), frame), "Label5"), 2, 0, Qt::AlignRight);
    grid->addWidget(m_text[1], 2, 1, 1, 2);
    grid->addWidget(m_option[3], 3, 0, 1, 3);
    grid->addWidget(named(new QLabel(QStringLiteral("自社名"), frame), "Label7"), 4, 0, Qt::AlignRight);
    grid->addWidget(m_text[2], 4, 1);
    grid->addWidget(m_text[3], 4, 2);
    grid->addWidget(named(new QLabel(QStringLiteral("現在の設定"), frame), "Label2"), 5, 0, Qt::AlignRight);
    grid->addWidget(m_current, 5, 1, 1, 2);

    m_save = named(new QPushButton(QStringLiteral("設定変更"), this), "Command4");
    setDefaultButton(m_save);
    m_save->setFont(minchoFont(12));
    auto *order = named(new QPushButton(QStringLiteral("レイアウト作成注文依頼(WEB)"), this), "Command1");
    order->setFont(minchoFont(9));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(frame);
    layout->addWidget(m_option[1]);
    layout->addWidget(m_option[2]);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_save);
    buttons->addStretch(1);
    buttons->addWidget(order);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->addWidget(m_text[4]);
    layout->addWidget(m_text[5]);

    connect(m_save, &QPushButton::clicked, this, &LayoutSelectionScreen::save);
    connect(order, &QPushButton::clicked, this, [this] {
        const QString address = info::makerAddress(info::kLayoutOrderPage);
        if (!info::openWebPage(address))
            showMessage(this, info::webPageFailure(address), windowTitle(), Exclamation);
    });

    fillFrom(fields);
    move(twips(10), twips(10));
    resize(twips(6600), sizeHint().height());
    m_save->setFocus();

    layout::setLiveTitlesSource([this] { return titles(); });
}

LayoutSelectionScreen::~LayoutSelectionScreen()
{
    layout::setLiveTitlesSource({});
}

layout::Titles LayoutSelectionScreen::titles() const
{
    return {m_text[0]->text(), m_text[1]->text()};
}

void LayoutSelectionScreen::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_save->setFocus();
}

void LayoutSelectionScreen::closeEvent(QCloseEvent *event)
{
    // Edits of a closed screen are discarded: from now on the table's titles print.
    layout::setLiveTitlesSource({});
    QWidget::closeEvent(event);
}

layout::LayoutFields LayoutSelectionScreen::fields() const
{
    layout::LayoutFields f;
    f.text1 = m_text[0]->text();
    f.text2 = m_text[1]->text();
    f.text3 = m_text[2]->text();
    f.text4 = m_text[3]->text();
    f.text5 = m_text[4]->text();
    f.text6 = m_text[5]->text();
    f.currentLayout = m_current->text();
    f.stored = m_stored;
    return f;
}

void LayoutSelectionScreen::fillFrom(const layout::LayoutFields &f)
{
    m_text[0]->setText(f.text1);
    m_text[1]->setText(f.text2);
    m_text[2]->setText(f.text3);
    m_text[3]->setText(f.text4);
    m_text[4]->setText(f.text5);
    m_text[5]->setText(f.text6);
    m_current->setText(f.currentLayout);
}

void LayoutSelectionScreen::save()
{
    layout::LayoutFields f = fields();
    layout::SaveResult result;
    try {
        result = layout::saveLayout(f, m_option[0]->isChecked());
    } catch (const Failure &failure) {
        fillFrom(f);
        showMessage(this,
                    QStringLiteral("設定を保存できませんでした。\n%1\n\n画面の入力内容はそのまま残っています。")
                        .arg(failure.description()),
                    QStringLiteral("設定変更エラー"), Critical);
        return;
    }
    fillFrom(f);
    if (result == layout::SaveResult::NoLayoutChosen) {
        showMessage(this, QStringLiteral("設定項目が選択されていません。"), QStringLiteral("設定変更エラー"), Critical);
        return;
    }
    QWidget *parent = parentWidget();
    close();
    showMessage(parent, QStringLiteral("設定が変更されました｡"), QStringLiteral("設定変更"), Information);
}

QWidget *createLayoutSelectionScreen(QWidget *host)
{
    layout::LayoutFields fields;
    try {
        fields = layout::loadLayoutFields();
    } catch (const Failure &failure) {
        showMessage(host,
                    QStringLiteral("出力レイアウトの設定を読み込めないため、画面を開けません。\n%1\n\n"
                                   "設定は何も変更されていません。")
                        .arg(failure.description()),
                    QStringLiteral("設定読み込みエラー"), Critical);
        return nullptr;
    }
    return new LayoutSelectionScreen(fields, host);
}

} // namespace zl::ui
