#include "login/dialogparts.h"

#include <QLinearGradient>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>

namespace DialogParts {

QFont songTi(int px)
{
    QFont f;
    f.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC"),
                   QStringLiteral("AR PL UMing CN")});
    f.setPixelSize(px);
    return f;
}

void makeCream(QLineEdit *edit)
{
    QPalette pal = edit->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(group, QPalette::Base, QColor(255, 251, 240));
    edit->setPalette(pal);
}

PicturePanel::PicturePanel(int width, QWidget *parent) : QWidget(parent) { setFixedWidth(width); }

void PicturePanel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(40, 90, 160));
    g.setColorAt(1, QColor(150, 190, 230));
    p.fillRect(rect(), g);
    const QPixmap key(QStringLiteral(":/app/icons/dialog-password.png"));
    if (!key.isNull()) {
        const QRect r(QPoint(0, 0), key.size());
        p.drawPixmap(r.translated(rect().center() - r.center()), key);
    }
}

} // namespace DialogParts
