#pragma once
#include <QPointer>
#include <QScrollArea>
#include <functional>
#include <vector>

class Dataset;
class QGridLayout;
class QFrame;

// One record panel: labelled text boxes and framed multi-line boxes for the
// columns of one row.
class RecordPanel : public QFrame {
    Q_OBJECT
public:
    RecordPanel(Dataset *ds, int storageRow, QWidget *parent = nullptr);
    // A labelled one-line box on the panel's next row.
    void addLine(const QString &label, const QString &field);
    // A framed multi-line box under the lines.
    void addMemo(const QString &title, const QString &field);
    int storageRow() const { return m_storageRow; }
    QWidget *editorOf(const QString &field) const;
    void showValues();
    void setCurrent(bool on);

signals:
    void activated(int storageRow);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *e) override;

private:
    void write(const QString &field, const QString &text);
    struct Editor {
        QString field;
        QWidget *widget;
    };
    QPointer<Dataset> m_ds;
    int m_storageRow;
    QGridLayout *m_grid;
    int m_lines = 0;
    std::vector<Editor> m_editors;
    bool m_showing = false;
    bool m_writing = false;
};

// A scrolling list of record panels, one per visible row of a dataset, a
// fixed number in view; the panel of the current row is the one being edited
// and typing into any panel makes its row current.
class RecordPanelList : public QScrollArea {
    Q_OBJECT
public:
    RecordPanelList(Dataset *ds, std::function<void(RecordPanel &)> build, int panelsInView = 3, QWidget *parent = nullptr);
    RecordPanel *panelOfRow(int row) const;
    RecordPanel *currentPanel() const;
    int panelCount() const { return int(m_panels.size()); }

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    void rebuild();
    void followCurrent();
    void fitPanels();

    QPointer<Dataset> m_ds;
    std::function<void(RecordPanel &)> m_build;
    int m_inView;
    QWidget *m_content;
    std::vector<RecordPanel *> m_panels;
};
