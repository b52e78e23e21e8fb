#pragma once
#include <QFont>
#include <QString>
#include <QWidget>

class QLineEdit;

// Pieces the login and password dialogs share.
namespace DialogParts {

// "宋体" at `px` pixels, with the CJK fonts that stand in for it.
QFont songTi(int px);
// A cream editor (RGB 255, 251, 240), as every data editor of the program.
void makeCream(QLineEdit *edit);

// The picture on the left of the dialogs: a blue gradient with a key.
class PicturePanel : public QWidget {
public:
    explicit PicturePanel(int width, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *) override;
};

} // namespace DialogParts
