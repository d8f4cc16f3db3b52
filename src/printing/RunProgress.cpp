#include "printing/RunProgress.h"

#include "label/PageCanvas.h"
#include "layout/Titles.h"

#include <QCoreApplication>
#include <QThread>
#include <optional>

namespace zl::printing {

using label::LabelFields;
using label::ProgressView;

namespace {

ProgressViewFactory &progressFactory()
{
    static ProgressViewFactory factory;
    return factory;
}

// The window a whole run shows, while one is open (RunProgress).
label::ProgressView *&runProgressView()
{
    static label::ProgressView *view = nullptr;
    return view;
}

} // namespace

void setProgressViewFactory(ProgressViewFactory factory)
{
    progressFactory() = std::move(factory);
}

bool PrintLabel(printer::LabelScale scale)
{
    label::LabelFields &fields = label::sharedLabelFields();
    // Read once a label: outside the layout screen (and outside a run, which
    // holds them) that is a settings table read.
    const label::Titles titles = layout::currentTitles();
    std::unique_ptr<label::PageCanvas> canvas = label::currentPrinterCanvas(scale);
    if (label::ProgressView *view = runProgressView())
        return !label::printLabel(*canvas, view, fields, titles, false).cancelled;
    std::unique_ptr<label::ProgressView> progress;
    if (progressFactory())
        progress = progressFactory()(fields);
    return !label::printLabel(*canvas, progress.get(), fields, titles).cancelled;
}

namespace {

// The progress window of a run that draws on another thread: the window
// lives on the application's thread and every call goes there, the run
// waiting for it. Events are the application thread's own business; asking
// it for nothing still lets it handle, in order, what came before.
class ViewOnApplicationThread : public label::ProgressView {
public:
    explicit ViewOnApplicationThread(label::LabelFields &fields)
    {
        call([&] { m_view = progressFactory()(fields); });
    }
    ~ViewOnApplicationThread() override
    {
        call([this] { m_view.reset(); });
    }
    bool valid() const { return m_view != nullptr; }
    void open() override { call([this] { m_view->open(); }); }
    void setProgressText(const QString &text) override { call([&] { m_view->setProgressText(text); }); }
    void setRunCounts(const QString &text) override { call([&] { m_view->setRunCounts(text); }); }
    void processEvents() override { call([] {}); }
    void close() override { call([this] { m_view->close(); }); }

private:
    template <typename F>
    static void call(F &&f)
    {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::forward<F>(f), Qt::BlockingQueuedConnection);
    }
    std::unique_ptr<label::ProgressView> m_view;
};

bool onApplicationThread()
{
    return !QCoreApplication::instance() || QThread::currentThread() == QCoreApplication::instance()->thread();
}

} // namespace

RunProgress::RunProgress(label::LabelFields &fields)
{
    if (progressFactory() && !runProgressView()) {
        if (onApplicationThread()) {
            m_view = progressFactory()(fields);
        } else if (auto view = std::make_unique<ViewOnApplicationThread>(fields); view->valid()) {
            m_view = std::move(view);
        }
        if (m_view) {
            m_view->open();
            runProgressView() = m_view.get();
        }
    }
}

void RunProgress::showCounts(const QString &text)
{
    if (!m_view)
        return;
    m_view->setRunCounts(text);
    m_view->processEvents();
}

QString runCountsText(int sent, std::optional<int> printed, int total)
{
    const QString sending = QStringLiteral("送信 %1 / %2").arg(sent).arg(total);
    if (!printed)
        return sending;
    return sending + QStringLiteral("　印刷済み %1 / %2").arg(*printed).arg(total);
}

RunProgress::~RunProgress()
{
    if (m_view) {
        runProgressView() = nullptr;
        m_view->close();
    }
}

} // namespace zl::printing
