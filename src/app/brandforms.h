#pragma once
#include <QDialog>
#include <QWidget>

// The picture of the splash and About windows: a gradient with the product
// title "Zentrav" in yellow and "Version 1.8" below it.
class BrandPicture : public QWidget {
public:
    explicit BrandPicture(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *) override;
};

// Shown, borderless and centred, while the main window is built.
class SplashForm : public BrandPicture {
public:
    SplashForm();
};

// "关于": the picture in a fixed dialog with only a close box.
class AboutForm : public QDialog {
public:
    explicit AboutForm(QWidget *parent = nullptr);
};

// Waits, at most one second, until the monotonic clock reaches the next whole
// second, so the splash window stays readable. Runs on the UI thread.
void waitForNextWholeSecond();
