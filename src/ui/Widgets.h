#pragma once
// Every control carries the name the screens and the tests know it by.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>

namespace zl::ui {

template <typename W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromUtf8(name));
    return widget;
}

inline QLabel *label(QWidget *parent, const char *name, const QString &text = {})
{
    return named(new QLabel(text, parent), name);
}

inline QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    return named(new QPushButton(text, parent), name);
}

inline QLineEdit *lineEdit(QWidget *parent, const char *name, const QString &text = {})
{
    return named(new QLineEdit(text, parent), name);
}

} // namespace zl::ui
