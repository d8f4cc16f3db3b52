#include "cups/platform/QtPrintDialogParts.h"

#include <QMetaType>
#include <algorithm>
#include <QObject>
#include <QVariant>
#include <cups/ppd.h>

namespace zl::printer::qtdialog {

namespace {

// Qt keeps the option as a `const ppd_option_t *` in the property; anything
// else is not read, never cast.
const ppd_option_t *ppdOptionOf(const QObject *box)
{
    if (!box)
        return nullptr;
    const QVariant v = box->property(kPpdOptionProperty);
    if (!v.isValid() || !v.constData() || v.metaType() != QMetaType::fromType<const ppd_option_t *>())
        return nullptr;
    return *static_cast<const ppd_option_t *const *>(v.constData());
}

void requireChild(const QObject &parent, const char *name, const char *what, QStringList &missing)
{
    if (!parent.findChild<QObject *>(QLatin1String(name)))
        missing << QStringLiteral("%1 (%2)").arg(QLatin1String(name), QLatin1String(what));
}

} // namespace

std::optional<DriverOption> driverOptionOf(const QObject *box)
{
    const ppd_option_t *option = ppdOptionOf(box);
    if (!option)
        return std::nullopt;
    DriverOption o;
    o.keyword = QString::fromUtf8(option->keyword);
    for (int i = 0; i < option->num_choices; ++i)
        o.choices << QString::fromUtf8(option->choices[i].choice);
    return o;
}

QStringList missingInPrintDialog(const QObject &dialog)
{
    QStringList missing;
    requireChild(dialog, kPrinterList, "printer list", missing);
    requireChild(dialog, kPropertiesButton, "properties button", missing);
    requireChild(dialog, kLocation, "printer location", missing);
    requireChild(dialog, kType, "printer type", missing);
    requireChild(dialog, kTabs, "option tabs", missing);
    requireChild(dialog, kCopies, "copies", missing);
    for (const char *name : kRunOnlyParts)
        requireChild(dialog, name, "page range or preview", missing);
    for (const char *name : kOutputFile)
        requireChild(dialog, name, "output file", missing);
    return missing;
}

QStringList missingInPropertiesDialog(const QObject &dialog, bool driverOptions)
{
    QStringList missing;
    if (!dialog.inherits(kPropertiesDialogClass))
        missing << QStringLiteral("%1 (properties dialog class)").arg(QLatin1String(kPropertiesDialogClass));
    requireChild(dialog, kPageSetup, "page setup", missing);
    requireChild(dialog, kPaperList, "paper list", missing);
    for (const char *name : kPageSetupRunParts)
        requireChild(dialog, name, "margins or pages per sheet", missing);
    requireChild(dialog, kJobOptions, "job options", missing);
    requireChild(dialog, kTabs, "tabs", missing);
    if (driverOptions) {
        const QList<QObject *> children = dialog.findChildren<QObject *>();
        if (std::none_of(children.begin(), children.end(), [](const QObject *o) { return ppdOptionOf(o) != nullptr; }))
            missing << QStringLiteral("%1 (driver option property)").arg(QLatin1String(kPpdOptionProperty));
    }
    return missing;
}

} // namespace zl::printer::qtdialog
