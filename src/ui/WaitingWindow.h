#pragma once
#include <QWidget>

namespace zl::ui {

// Form8: shown while another screen opens. It has no logic of its own.
class WaitingWindow : public QWidget {
    Q_OBJECT
public:
    explicit WaitingWindow(QWidget *parent = nullptr);
    // Shows the window and paints it at once, before the caller goes on.
    void showNow();
};

// Shows the waiting window, runs `open`, and closes the window again, also
// when `open` throws.
template <typename F>
auto withWaitingWindow(QWidget *parent, F &&open)
{
    WaitingWindow w(parent);
    w.showNow();
    struct Closer {
        WaitingWindow &w;
        ~Closer() { w.close(); }
    } closer{w};
    return open();
}

} // namespace zl::ui
