#pragma once
#include <QPixmap>
#include <QWidget>

namespace zl::ui {

class ScreenRegistry;

// frmAbout, Form9, Form10 and Form12.
void registerInfoScreens(ScreenRegistry &registry);

QWidget *createAboutScreen(QWidget *host);
QWidget *createOnlineHelpScreen(QWidget *host);
QWidget *createOnlineSupportScreen(QWidget *host);
QWidget *createCsvSampleScreen(QWidget *host);

// The program's own artwork, drawn rather than shipped as files.
QPixmap programIcon(int size);
QPixmap csvSamplePicture();

} // namespace zl::ui
