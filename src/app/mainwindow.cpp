#include "app/mainwindow.h"

#include <QLabel>
#include <QMdiArea>
#include <QStatusBar>

MainWindow::MainWindow(const Settings &settings, QWidget *parent)
    : QMainWindow(parent), m_settings(settings), m_mdi(new QMdiArea(this))
{
    setWindowTitle(QStringLiteral("Zentrav"));
    resize(1023, 768);
    setCentralWidget(m_mdi);
    auto *org = new QLabel(settings.organisationName(), this);
    org->setFixedWidth(400);
    auto *login = new QLabel(this);
    login->setFixedWidth(400);
    statusBar()->addWidget(org);
    statusBar()->addWidget(login);
}
