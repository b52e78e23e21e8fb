#pragma once
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>

class QWidget;
class QToolButton;
class QLabel;

// The look every window shares: SimSun text, cream data areas, green titles
// and focused editors, icon buttons whose hint is their Chinese name.
namespace UiLook {

inline const QColor Cream{255, 251, 240};
inline const QColor TitleGreen{0, 128, 0};

// "宋体" with the CJK fallbacks, at `pixels` size.
QFont font(int pixels = 15);
// Title label of a window's top bar: green, 18 px.
QLabel *titleLabel(const QString &text, QWidget *parent = nullptr);
// An icon button with `hint` as its tool tip and accessible name.
QToolButton *iconButton(const QString &hint, const QIcon &icon, QWidget *parent = nullptr);
// Icons drawn in code for the common buttons ("增加", "删除", "保存", "打印", "登帐", "刷新", "退出", "确认", "返回").
QIcon buttonIcon(const QString &hint);
// Node images of the trees: 0 collapsed, 1 expanded, 2 selected.
QIcon nodeImage(int index);
// Cream background (also while disabled) and green text while focused.
void applyEditorLook(QWidget *editor);
// Cream background of a data area (tree, grid, panel).
void applyDataAreaLook(QWidget *area);

// `text` cut so that its GBK encoding takes at most `bytes` bytes; a
// character is never split.
QString cutToGbkBytes(const QString &text, int bytes);
int gbkLength(const QString &text);

} // namespace UiLook
