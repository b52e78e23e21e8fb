#include "common/uilook.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStringEncoder>
#include <QStyle>
#include <QToolButton>
#include <QWidget>

#include <functional>

namespace UiLook {

QFont font(int pixels)
{
    QFont f;
    f.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC"),
                   QStringLiteral("AR PL UMing CN")});
    f.setPixelSize(pixels);
    return f;
}

QLabel *titleLabel(const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setFont(font(18));
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, TitleGreen);
    l->setPalette(p);
    l->setObjectName(QStringLiteral("TitleLabel"));
    return l;
}

QToolButton *iconButton(const QString &hint, const QIcon &icon, QWidget *parent)
{
    auto *b = new QToolButton(parent);
    b->setIcon(icon.isNull() ? buttonIcon(hint) : icon);
    b->setIconSize(QSize(24, 24));
    b->setToolTip(hint);
    b->setAccessibleName(hint);
    b->setAutoRaise(true);
    // Taking focus on a click ends an edit in progress in a grid or editor.
    b->setFocusPolicy(Qt::StrongFocus);
    return b;
}

static QIcon drawn(const std::function<void(QPainter &)> &paint)
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
    p.end();
    return QIcon(pm);
}

QIcon buttonIcon(const QString &hint)
{
    const QColor green(0, 140, 60), red(200, 40, 40), blue(30, 90, 180), grey(90, 90, 90);
    if (hint == QStringView(u"增加"))
        return drawn([&](QPainter &p) {
            p.setPen(QPen(green, 5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(16, 6, 16, 26);
            p.drawLine(6, 16, 26, 16);
        });
    if (hint == QStringView(u"删除"))
        return drawn([&](QPainter &p) {
            p.setPen(QPen(red, 5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(8, 8, 24, 24);
            p.drawLine(24, 8, 8, 24);
        });
    if (hint == QStringView(u"保存"))
        return drawn([&](QPainter &p) {
            p.setPen(QPen(blue.darker(), 1.5));
            p.setBrush(blue);
            p.drawRoundedRect(5, 5, 22, 22, 2, 2);
            p.setBrush(Qt::white);
            p.drawRect(10, 5, 12, 8);
            p.setBrush(QColor(220, 220, 220));
            p.drawRect(9, 17, 14, 10);
        });
    if (hint.startsWith(QStringView(u"打印")))
        return drawn([&](QPainter &p) {
            p.setPen(QPen(grey, 1.5));
            p.setBrush(Qt::white);
            p.drawRect(9, 4, 14, 10);
            p.setBrush(QColor(170, 170, 170));
            p.drawRoundedRect(4, 12, 24, 11, 2, 2);
            p.setBrush(Qt::white);
            p.drawRect(9, 19, 14, 9);
            if (hint.contains(QStringView(u"标签"))) {
                p.setPen(QPen(blue, 1.5));
                p.drawLine(11, 22, 21, 22);
                p.drawLine(11, 25, 18, 25);
            }
        });
    if (hint == QStringView(u"登帐"))
        return drawn([&](QPainter &p) {
            p.setPen(QPen(grey, 1.5));
            p.setBrush(QColor(250, 240, 200));
            p.drawRect(6, 4, 20, 24);
            p.setPen(QPen(green, 3.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(10, 17, 15, 22);
            p.drawLine(15, 22, 23, 10);
        });
    if (hint == QStringView(u"确认"))
        return drawn([&](QPainter &p) {
            p.setPen(QPen(green, 4.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(7, 17, 13, 23);
            p.drawLine(13, 23, 25, 9);
        });
    if (hint == QStringView(u"返回") || hint == QStringView(u"退出"))
        return drawn([&](QPainter &p) {
            p.setPen(QPen(grey, 1.5));
            p.setBrush(QColor(200, 170, 120));
            p.drawRect(5, 4, 14, 24);
            p.setPen(QPen(red, 3.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(13, 16, 27, 16);
            p.drawLine(22, 11, 27, 16);
            p.drawLine(22, 21, 27, 16);
        });
    if (hint == QStringView(u"刷新"))
        return QApplication::style()->standardIcon(QStyle::SP_BrowserReload);
    return drawn([&](QPainter &p) {
        p.setPen(QPen(grey, 2));
        p.drawEllipse(6, 6, 20, 20);
    });
}

QIcon nodeImage(int index)
{
    return drawn([&](QPainter &p) {
        p.scale(0.5, 0.5);
        const QColor body = index == 2 ? QColor(250, 200, 60) : QColor(230, 180, 70);
        p.setPen(QPen(body.darker(150), 2));
        p.setBrush(body);
        p.drawRect(4, 18, 52, 36);
        p.drawRect(4, 12, 20, 8);
        if (index == 1) { // open folder: a flap tilted forward
            p.setBrush(body.lighter(120));
            QPolygon flap;
            flap << QPoint(12, 28) << QPoint(62, 28) << QPoint(54, 54) << QPoint(4, 54);
            p.drawPolygon(flap);
        }
        if (index == 2) {
            p.setPen(QPen(QColor(0, 120, 0), 6, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(18, 36, 28, 46);
            p.drawLine(28, 46, 46, 26);
        }
    });
}

void applyEditorLook(QWidget *editor)
{
    editor->setStyleSheet(QStringLiteral(
        "QLineEdit, QPlainTextEdit, QComboBox { background-color: rgb(255,251,240); }"
        "QLineEdit:disabled, QPlainTextEdit:disabled, QComboBox:disabled { background-color: rgb(255,251,240); color: rgb(110,110,110); }"
        "QLineEdit:focus, QPlainTextEdit:focus, QComboBox:focus { color: green; }"));
    editor->setFont(font(15));
}

void applyDataAreaLook(QWidget *area)
{
    QPalette p = area->palette();
    p.setColor(QPalette::Base, Cream);
    p.setColor(QPalette::Window, Cream);
    p.setColor(QPalette::Disabled, QPalette::Base, Cream);
    area->setPalette(p);
    area->setAutoFillBackground(true);
    area->setFont(font(15));
}

int gbkLength(const QString &text)
{
    QStringEncoder enc("GBK");
    return int(QByteArray(enc.encode(text)).size());
}

QString cutToGbkBytes(const QString &text, int bytes)
{
    QStringEncoder enc("GBK");
    if (QByteArray(enc.encode(text)).size() <= bytes)
        return text;
    QString out;
    int used = 0;
    for (int i = 0; i < text.size();) {
        const int len = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString ch = text.mid(i, len);
        QStringEncoder e("GBK");
        const int n = int(QByteArray(e.encode(ch)).size());
        if (used + n > bytes)
            break;
        out += ch;
        used += n;
        i += len;
    }
    return out;
}

} // namespace UiLook
