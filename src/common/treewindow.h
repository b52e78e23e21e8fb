#pragma once
#include <QString>
#include <QWidget>
#include <functional>
#include <initializer_list>

class Connection;
class Dataset;
class QHBoxLayout;
class QLabel;
class QSplitter;
class QToolButton;

// The frame of the tree windows: a top bar with the green title on the left
// and icon buttons on the right ("退出" set apart at the far right), below
// it a tree on the left, a movable splitter and the window's own pane.
// The concrete window supplies its datasets, panes and rules.
class TreeWindowFrame : public QWidget {
    Q_OBJECT
public:
    explicit TreeWindowFrame(const QString &title, QWidget *parent = nullptr);

    void setTitle(const QString &title);
    QString title() const;
    // A short grey note after the title ("still reading …"); empty hides it.
    void setNote(const QString &note);
    QString note() const;
    // Adds an icon button before "退出"; `hint` is its tool tip and name.
    QToolButton *addButton(const QString &hint, const QString &objectName = QString());
    QToolButton *closeButton() const { return m_close; }
    void setPanes(QWidget *left, QWidget *right, int leftWidth = 280);
    QSplitter *splitter() const { return m_splitter; }
    QWidget *topBar() const { return m_topBar; }

private:
    QLabel *m_title;
    QLabel *m_note;
    QWidget *m_topBar;
    QHBoxLayout *m_buttons;
    QToolButton *m_close;
    QSplitter *m_splitter;
};

namespace TreeWindow {

// Writes every pending change of the datasets in one transaction and marks
// them clean after the commit. On failure rolls back, keeps every pending
// change and shows `failMessage`. Returns whether it saved.
bool save(Connection &conn, std::initializer_list<Dataset *> datasets, const QString &failMessage = QStringLiteral("保存失败！"),
          QWidget *parent = nullptr);

// The close question of an editing window: nothing pending closes at once;
// otherwise "数据已经修改，需要保存吗？" / "提示信息" with Yes, No, Cancel.
// Yes saves and closes only when the save succeeded (nothing typed is lost);
// No drops the changes and closes; Cancel stays. Returns whether to close.
bool askToSave(QWidget *parent, bool pending, const std::function<bool()> &save, const std::function<void()> &drop);

// Closes the window: its MDI sub-window when it has one, else the widget.
void closeWindow(QWidget *window);

} // namespace TreeWindow
