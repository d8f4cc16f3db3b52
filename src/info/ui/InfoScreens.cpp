#include "info/ui/InfoScreens.h"

#include "ui/Dialogs.h"
#include "ui/ScreenPlacement.h"
#include "ui/ScreenRegistry.h"
#include "ui/Widgets.h"
#include "info/WebPages.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace zl::ui {

namespace {

// Information texts are long: they wrap.
QLabel *text(QWidget *parent, const char *name, const QString &content)
{
    QLabel *l = label(parent, name, content);
    l->setWordWrap(true);
    return l;
}


// Form9 and Form10 differ only in their texts and the page they open.
QWidget *webLinkScreen(QWidget *host, const QString &caption, const QString &notice, const QString &page)
{
    auto *w = new QWidget(host, Qt::Window);
    w->setWindowTitle(caption);
    const QString address = info::makerAddress(page);
    auto *layout = new QVBoxLayout(w);
    layout->addWidget(text(w, "Label1", notice));
    auto *addr = text(w, "Label2", address);
    addr->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(addr);
    auto *open = button(w, "Command1", QStringLiteral("画面を開く"));
    setDefaultButton(open);
    auto *failed = text(w, "LabelNoBrowser", QString());
    failed->setStyleSheet(QStringLiteral("color: #b00000;"));
    failed->hide();
    QObject::connect(open, &QPushButton::clicked, w, [address, failed] {
        const bool opened = info::openWebPage(address);
        failed->setText(opened ? QString()
                               : QStringLiteral("ブラウザーを起動できませんでした。上のアドレスをコピーして、"
                                                "ブラウザーのアドレス欄に貼り付けてください。"));
        failed->setVisible(!opened);
    });
    layout->addWidget(failed);
    layout->addWidget(open, 0, Qt::AlignRight);
    w->resize(420, 150);
    return w;
}

} // namespace

QPixmap programIcon(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 64.0;
    // A white label with a folded corner, a title bar and barcode bars.
    p.setPen(QPen(QColor(40, 40, 40), 2 * s));
    p.setBrush(Qt::white);
    QPolygonF sheet{{6 * s, 4 * s}, {48 * s, 4 * s}, {58 * s, 14 * s}, {58 * s, 60 * s}, {6 * s, 60 * s}};
    p.drawPolygon(sheet);
    p.fillRect(QRectF(12 * s, 10 * s, 30 * s, 6 * s), QColor(200, 40, 40));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    const int widths[] = {2, 1, 1, 3, 1, 2, 1, 1, 2, 3, 1, 2, 1};
    qreal x = 12 * s;
    for (int i = 0; i < 13; ++i) {
        if (i % 2 == 0)
            p.drawRect(QRectF(x, 24 * s, widths[i] * 1.6 * s, 26 * s));
        x += widths[i] * 1.6 * s + 1.2 * s;
    }
    return pm;
}

QPixmap csvSamplePicture()
{
    const QStringList header{QStringLiteral("JANコード"), QStringLiteral("商品名"), QStringLiteral("規格"),
                             QStringLiteral("価格")};
    const QList<QStringList> rows{
        {QStringLiteral("491234500001"), QStringLiteral("緑茶 ペットボトル"), QStringLiteral("500ml"), QStringLiteral("150")},
        {QStringLiteral("491234500002"), QStringLiteral("ほうじ茶"), QStringLiteral("500ml"), QStringLiteral("140")},
        {QStringLiteral("491234500003"), QStringLiteral("おにぎり 鮭"), QStringLiteral("1個"), QStringLiteral("160")},
    };
    const int colW[] = {130, 150, 80, 70};
    const int rowH = 26, left = 10, top = 40;
    QPixmap pm(left * 2 + 430, top + rowH * 4 + 120);
    pm.fill(Qt::white);
    QPainter p(&pm);
    QFont f(QStringLiteral("IPAPGothic"), 10);
    p.setFont(f);
    p.drawText(QRect(left, 8, 430, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("表計算ソフトでの見え方（1行目は列名）"));
    auto cell = [&](int r, int c, const QString &t, bool head) {
        int x = left;
        for (int i = 0; i < c; ++i)
            x += colW[i];
        QRect rc(x, top + r * rowH, colW[c], rowH);
        p.fillRect(rc, head ? QColor(220, 230, 245) : Qt::white);
        p.setPen(QColor(120, 120, 120));
        p.drawRect(rc);
        p.setPen(Qt::black);
        p.drawText(rc.adjusted(4, 0, -4, 0), Qt::AlignVCenter | (c == 3 ? Qt::AlignRight : Qt::AlignLeft), t);
    };
    for (int c = 0; c < 4; ++c)
        cell(0, c, header[c], true);
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < 4; ++c)
            cell(r + 1, c, rows[r][c], false);
    int y = top + rowH * 4 + 16;
    p.drawText(QRect(left, y, 430, 20), Qt::AlignLeft, QStringLiteral("CSVファイルの中身（カンマ区切り・1行に1件）"));
    QFont mono(QStringLiteral("IPAGothic"), 9);
    p.setFont(mono);
    p.setPen(QColor(30, 30, 120));
    y += 22;
    p.drawText(QPoint(left, y += 2), header.join(QLatin1Char(',')));
    for (const QStringList &r : rows)
        p.drawText(QPoint(left, y += 18), r.join(QLatin1Char(',')));
    p.setFont(f);
    p.setPen(Qt::darkRed);
    p.drawText(QPoint(left, y + 24), QStringLiteral("1列目=バーコード(JAN 12/13桁)、2列目・3列目=表示文字、4列目=価格"));
    return pm;
}

QWidget *createAboutScreen(QWidget *host)
{
    auto *w = new QWidget(host, Qt::Window);
    w->setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    auto *icon = text(w, "picIcon", QString());
    icon->setPixmap(programIcon(64));
    auto *title = text(w, "lblTitle", QStringLiteral("Zenlabo"));
    QFont tf = title->font();
    tf.setPointSizeF(16);
    tf.setBold(true);
    title->setFont(tf);
    auto *version = text(w, "lblVersion", QStringLiteral("ﾊﾞｰｼﾞｮﾝ　2.0.6 2004/11修正"));
    auto *description = text(
        w, "lblDescription",
        QStringLiteral("このアプリケーションはデータベースと連携してデータを連続して印刷する業務用ソフトです。バーコード付ラベル発行や物流ラベル、棚札など、その他帳票発行に最適です。余計な機能は一切ありませんので使用方法も至って簡単。マニュアル要らずです。不明な点はｵﾝﾗｲﾝｻﾎﾟｰﾄにて問い合わせ可能"));
    auto *maker = text(w, "Label1", QStringLiteral("製造元　Tavizo"));
    auto *disclaimer = text(
        w, "lblDisclaimer",
        QStringLiteral("※一部のプリンター機種には対応していない場合があります。標準のレイアウトはバーコードラベルです。"
                       "お客様独自のラベルや帳票のレイアウトは「ﾚｲｱｳﾄ作成依頼」ボタンからご注文いただけます。"));
    auto *order = button(w, "Command1", QStringLiteral("ﾚｲｱｳﾄ作成依頼"));
    auto *ok = button(w, "cmdOK", QStringLiteral("OK"));
    setDefaultButton(ok);
    QObject::connect(order, &QPushButton::clicked, w, [w] {
        const QString address = info::makerAddress(info::kLayoutOrderPage);
        if (!info::openWebPage(address))
            showMessage(w, info::webPageFailure(address), w->windowTitle(), Exclamation);
    });
    QObject::connect(ok, &QPushButton::clicked, w, &QWidget::close);

    auto *grid = new QGridLayout(w);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(title, 0, 1);
    grid->addWidget(version, 1, 1);
    grid->addWidget(description, 2, 1);
    grid->addWidget(maker, 3, 1);
    grid->addWidget(disclaimer, 4, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(order);
    buttons->addWidget(ok);
    grid->addLayout(buttons, 5, 0, 1, 2);
    w->resize(480, 320);
    return w;
}

QWidget *createOnlineHelpScreen(QWidget *host)
{
    return webLinkScreen(host, QStringLiteral("オンラインヘルプサイト紹介"),
                         QStringLiteral("ｵﾝﾗｲﾝﾍﾙﾌﾟはｲﾝﾀｰﾈｯﾄへの接続が必要です"), info::kOnlineHelpPage);
}

QWidget *createOnlineSupportScreen(QWidget *host)
{
    return webLinkScreen(host, QStringLiteral("ｵﾝﾗｲﾝｻﾎﾟｰﾄ紹介"),
                         QStringLiteral("ｵﾝﾗｲﾝｻﾎﾟｰﾄはｲﾝﾀｰﾈｯﾄへの接続が必要です"), info::kOnlineSupportPage);
}

QWidget *createCsvSampleScreen(QWidget *host)
{
    auto *w = new QWidget(host, Qt::Window);
    w->setWindowTitle(QStringLiteral("CSVファイルサンプル"));
    auto *layout = new QVBoxLayout(w);
    layout->addWidget(text(w, "Label1", QStringLiteral("CSVデータファイル作成　サンプル")));
    auto *picture = text(w, "Picture1", QString());
    picture->setPixmap(csvSamplePicture());
    layout->addWidget(picture);
    auto *close = button(w, "Command1", QStringLiteral("閉じる"));
    setDefaultButton(close);
    QObject::connect(close, &QPushButton::clicked, w, &QWidget::close);
    layout->addWidget(close, 0, Qt::AlignRight);
    return w;
}

void registerInfoScreens(ScreenRegistry &registry)
{
    registry.add(QStringLiteral("frmAbout"), createAboutScreen);
    registry.add(QStringLiteral("Form9"), createOnlineHelpScreen);
    registry.add(QStringLiteral("Form10"), createOnlineSupportScreen);
    registry.add(QStringLiteral("Form12"), createCsvSampleScreen);
}

} // namespace zl::ui
