#include "ui/ScreenPlacement.h"

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMargins>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cstdlib>

namespace zl::ui {

namespace {

// One step of a cascade: enough to show the title bar of the screen under it.
constexpr int kCascadeStep = 28;

int fitAxis(int at, int from, int length, int size)
{
    return std::max(from, std::min(at, from + length - size));
}

// The title bar and borders the window manager has drawn around a window;
// none until it has decorated the window (nor ever without a window manager).
QMargins drawnFrame(const QWidget *window)
{
    if (!window || !window->isVisible())
        return {};
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
            frame.bottom() - client.bottom()};
}

// The frame a screen about to open will get: the main window's, drawn by the
// same window manager, or the allowance while the main window has none.
QMargins expectedFrame(const QWidget *screen, const QWidget *host)
{
    if (const QMargins own = drawnFrame(screen); !own.isNull())
        return own;
    if (const QMargins hosts = drawnFrame(host ? host->window() : nullptr); !hosts.isNull())
        return hosts;
    return kFrameAllowance;
}

// A screen larger than the desktop's free area with its frame gives up
// height and width, as far as its layout lets it.
void shrinkToDesktop(QWidget *screen, QMargins frame, QRect available)
{
    const QSize room = available.size().shrunkBy(frame);
    if (screen->width() > room.width() || screen->height() > room.height())
        screen->resize(screen->size().boundedTo(room));
}

// Shrinks and moves `screen` so that it and its frame are inside the
// desktop's free area.
void fitInside(QWidget *screen, QMargins frame, QRect available)
{
    shrinkToDesktop(screen, frame, available);
    const QSize outer = screen->size().grownBy(frame);
    const QPoint at(fitAxis(screen->x(), available.left(), available.width(), outer.width()),
                    fitAxis(screen->y(), available.top(), available.height(), outer.height()));
    if (at != screen->pos())
        screen->move(at);
}

// Opening, a screen can only be measured with the frame it is expected to
// get; once the window manager has drawn the real one, the screen is fitted
// again with it, once: later the operator places it where they like.
class RealFrameFit : public QObject {
public:
    explicit RealFrameFit(QWidget *screen) : QObject(screen), m_screen(screen) { setObjectName(kName); }

    static constexpr QLatin1StringView kName{"RealFrameFit"};

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_screen || m_done)
            return false;
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Paint:
            break;
        default:
            return false;
        }
        const QMargins frame = drawnFrame(m_screen);
        if (frame.isNull())
            return false;
        m_done = true;
        // Not from inside the window system's own event.
        QMetaObject::invokeMethod(
            this,
            [this, frame] {
                m_screen->removeEventFilter(this);
                const Qt::WindowStates whole = Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized;
                if (!(m_screen->windowState() & whole) && m_screen->screen())
                    fitInside(m_screen, frame, m_screen->screen()->availableGeometry());
                deleteLater();
            },
            Qt::QueuedConnection);
        return false;
    }

private:
    QWidget *m_screen;
    bool m_done = false;
};

// The keys every secondary screen answers; lives as the screen's child.
class ScreenKeys : public QObject {
public:
    explicit ScreenKeys(QWidget *screen) : QObject(screen), m_screen(screen) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_screen || event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        if (key->key() == Qt::Key_Escape) {
            m_screen->close();
            return true;
        }
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            return false;
        QWidget *focus = m_screen->focusWidget();
        if (auto *pressed = qobject_cast<QPushButton *>(focus)) {
            if (pressed->isEnabled())
                pressed->click();
            return true;
        }
        // Only a field confirms the screen: Enter on the grid or a list
        // must not start a print run.
        const bool field = qobject_cast<QLineEdit *>(focus) || qobject_cast<QAbstractSpinBox *>(focus) ||
                           qobject_cast<QComboBox *>(focus);
        if (!field)
            return false;
        const QList<QPushButton *> buttons = m_screen->findChildren<QPushButton *>();
        for (QPushButton *b : buttons) {
            if (b->isDefault() && b->window() == m_screen && b->isVisible() && b->isEnabled()) {
                b->click();
                return true;
            }
        }
        return false;
    }

private:
    QWidget *m_screen;
};

// Parts of a control that Tab reaches through the control itself.
bool insideControl(const QWidget *w, const QWidget *root)
{
    for (const QWidget *p = w->parentWidget(); p && p != root; p = p->parentWidget()) {
        if (qobject_cast<const QAbstractSpinBox *>(p) || qobject_cast<const QComboBox *>(p) ||
            qobject_cast<const QAbstractScrollArea *>(p))
            return true;
    }
    return false;
}

} // namespace

QPoint screenPlace(QSize size, QRect hostArea, int hostTop, QRect available, const QList<QPoint> &taken)
{
    const QPoint centred(hostArea.center().x() + 1 - size.width() / 2,
                         std::max(hostTop, hostArea.center().y() + 1 - size.height() / 2));
    QPoint at;
    for (int step = 0; step < 20; ++step) {
        const QPoint wanted = centred + QPoint(step, step) * kCascadeStep;
        at = QPoint(fitAxis(wanted.x(), available.left(), available.width(), size.width()),
                    fitAxis(wanted.y(), available.top(), available.height(), size.height()));
        // A screen whose corner is within a step of another's hides it, as
        // the two print screens of different heights would.
        const bool hides = std::any_of(taken.begin(), taken.end(), [&at](const QPoint &other) {
            return std::abs(other.x() - at.x()) < kCascadeStep && std::abs(other.y() - at.y()) < kCascadeStep;
        });
        if (!hides)
            break;
    }
    return at;
}

QSize fitToDesktop(QSize wanted, QRect available, QMargins frame)
{
    // Its frame, and two steps of a cascade, so a second large screen still
    // opens a step down and right of the first.
    const QSize room = available.size().shrunkBy(frame) - 2 * QSize(kCascadeStep, kCascadeStep);
    return wanted.boundedTo(room).expandedTo(QSize(320, 240));
}

void sizeToDesktop(QWidget *screen, QSize wanted)
{
    QScreen *display = screen->screen() ? screen->screen() : QGuiApplication::primaryScreen();
    const QWidget *host = screen->parentWidget();
    screen->resize(display ? fitToDesktop(wanted, display->availableGeometry(), expectedFrame(screen, host)) : wanted);
}

void placeScreen(QWidget *screen, QWidget *host, const QList<QWidget *> &others)
{
    // Measured as it will show: a field that widens for its text (a long
    // folder) has already widened the screen.
    screen->ensurePolished();
    if (QLayout *layout = screen->layout())
        layout->activate();
    if (!screen->testAttribute(Qt::WA_Resized))
        screen->adjustSize();
    QWidget *main = host ? host->window() : nullptr;
    QScreen *display = main ? main->screen() : screen->screen();
    if (!display)
        display = QGuiApplication::primaryScreen();
    if (!display)
        return;
    const QRect available = display->availableGeometry();
    QRect area = available;
    int top = available.top();
    if (main && main->isVisible()) {
        area = main->frameGeometry();
        top = main->geometry().top();
        if (auto *bar = main->findChild<QMenuBar *>(QString(), Qt::FindDirectChildrenOnly); bar && bar->isVisible())
            top = bar->mapToGlobal(QPoint(0, bar->height())).y();
    }
    QList<QPoint> taken;
    for (QWidget *other : others)
        if (other && other != screen && other->isVisible())
            taken << other->pos();
    // A screen's place is its frame's: the title bar and borders the window
    // manager adds must be on the desktop too.
    const QMargins frame = expectedFrame(screen, main);
    shrinkToDesktop(screen, frame, available);
    screen->move(screenPlace(screen->size().grownBy(frame), area, top, available, taken));
    if (drawnFrame(screen).isNull() && !screen->findChild<QObject *>(RealFrameFit::kName, Qt::FindDirectChildrenOnly))
        screen->installEventFilter(new RealFrameFit(screen));
}

void installScreenKeys(QWidget *screen)
{
    // A dialog has its own Esc and default button.
    if (qobject_cast<QDialog *>(screen))
        return;
    screen->installEventFilter(new ScreenKeys(screen));
}

void setDefaultButton(QPushButton *button)
{
    button->setDefault(true);
}

void orderTabsByPlace(QWidget *root)
{
    struct Stop {
        QWidget *w;
        QRect r;
    };
    QList<Stop> stops;
    const QList<QWidget *> children = root->findChildren<QWidget *>();
    for (QWidget *w : children) {
        const bool tabbable = (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus || w->focusProxy();
        if (!tabbable || w->isWindow() || w->window() != root->window() || w->isHidden() || insideControl(w, root))
            continue;
        stops.append({w, QRect(w->mapTo(root, QPoint(0, 0)), w->size())});
    }
    std::stable_sort(stops.begin(), stops.end(), [](const Stop &a, const Stop &b) { return a.r.top() < b.r.top(); });
    // A row is what stands beside its topmost control; within it, left to
    // right, and one above the other where they share a column.
    QList<Stop> ordered;
    for (qsizetype i = 0; i < stops.size();) {
        const int rowBottom = stops.at(i).r.bottom();
        qsizetype end = i + 1;
        while (end < stops.size() && stops.at(end).r.center().y() <= rowBottom)
            ++end;
        QList<Stop> row = stops.mid(i, end - i);
        std::stable_sort(row.begin(), row.end(), [](const Stop &a, const Stop &b) {
            return a.r.left() != b.r.left() ? a.r.left() < b.r.left() : a.r.top() < b.r.top();
        });
        ordered += row;
        i = end;
    }
    for (qsizetype i = 1; i < ordered.size(); ++i)
        QWidget::setTabOrder(ordered.at(i - 1).w, ordered.at(i).w);
}

} // namespace zl::ui
