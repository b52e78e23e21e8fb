#include "app/brandforms.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>
#include <chrono>

namespace {
QFont titleFont()
{
    QFont f;
    f.setFamilies({QStringLiteral("STXinwei"), QStringLiteral("华文新魏"), QStringLiteral("AR PL UKai CN"),
                   QStringLiteral("Noto Serif CJK SC")});
    f.setPixelSize(33);
    f.setBold(true);
    return f;
}
QFont versionFont()
{
    QFont f;
    f.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC"),
                   QStringLiteral("AR PL UMing CN")});
    f.setPixelSize(23);
    return f;
}
void centreOnScreen(QWidget *w)
{
    if (QScreen *s = QGuiApplication::primaryScreen())
        w->move(s->availableGeometry().center() - w->rect().center());
}
} // namespace

BrandPicture::BrandPicture(QWidget *parent) : QWidget(parent) {}

void BrandPicture::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, width(), height());
    g.setColorAt(0, QColor(16, 52, 110));
    g.setColorAt(0.6, QColor(36, 98, 168));
    g.setColorAt(1, QColor(90, 150, 210));
    p.fillRect(rect(), g);
    // A shelf of boxes: the items the register keeps.
    p.setPen(QPen(QColor(255, 255, 255, 70), 2));
    for (int i = 0; i < 5; ++i) {
        const QRect box(width() - 200 + (i % 3) * 52, height() - 150 + (i / 3) * 52, 44, 44);
        p.fillRect(box, QColor(255, 255, 255, 30 + 12 * i));
        p.drawRect(box);
    }
    const QPixmap icon(QStringLiteral(":/app/icons/applications-office.png"));
    if (!icon.isNull())
        p.drawPixmap(36, 40, icon);

    p.setFont(titleFont());
    p.setPen(QColor(255, 255, 0));
    p.drawText(QRect(36, 100, width() - 72, 48), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Zentrav"));
    p.setFont(versionFont());
    p.setPen(palette().color(QPalette::HighlightedText));
    p.drawText(QRect(36, 152, width() - 72, 36), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Version 1.8"));
}

SplashForm::SplashForm() : BrandPicture(nullptr)
{
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
    setObjectName(QStringLiteral("SplashForm"));
    setFixedSize(455, 353);
    centreOnScreen(this);
}

AboutForm::AboutForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("关于"));
    setFixedSize(453, 358);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new BrandPicture(this));
    centreOnScreen(this);
}

void waitForNextWholeSecond()
{
    using namespace std::chrono;
    auto seconds = [] { return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() / 1000; };
    const auto s = seconds();
    while (seconds() < s + 1)
        QThread::msleep(1);
}
