#pragma once
#include "data/settings.h"

#include <QMainWindow>

class QMdiArea;

// The frame every function opens in: menu, toolbars, status bar and the MDI area.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(const Settings &settings, QWidget *parent = nullptr);

private:
    Settings m_settings;
    QMdiArea *m_mdi;
};
