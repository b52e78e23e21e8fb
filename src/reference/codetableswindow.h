#pragma once
#include <QWidget>
#include <array>

class Connection;
class Dataset;
class DataGrid;
class QLabel;
class QPushButton;
class QStackedWidget;
class QToolButton;

// "代码表维护": the six code lists (units, places, acquisition modes,
// write-off modes, manufacturers, suppliers), one page at a time.
class CodeTablesWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int PageCount = 6;
    explicit CodeTablesWindow(Connection *conn, QWidget *parent = nullptr);
    ~CodeTablesWindow() override;

    bool queryClose();
    QSize sizeHint() const override { return {620, 380}; }

    int currentPage() const;
    void showPage(int page);
    QString pageTitle() const;
    Dataset *table(int page) const { return m_tables[size_t(page)]; }
    DataGrid *grid(int page) const { return m_grids[size_t(page)]; }
    QPushButton *pageButton(int page) const { return m_pageButtons[size_t(page)]; }
    QToolButton *appendButton() const { return m_append; }
    QToolButton *deleteButton() const { return m_delete; }
    QToolButton *saveButton() const { return m_save; }

    void append();
    void removeCurrent();
    // Saves the six tables one after another, each in its own transaction;
    // true when all of them saved.
    bool save();

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    Connection *m_conn;
    std::array<Dataset *, PageCount> m_tables{};
    std::array<DataGrid *, PageCount> m_grids{};
    std::array<QPushButton *, PageCount> m_pageButtons{};
    QLabel *m_codeName;
    QStackedWidget *m_stack;
    QToolButton *m_append, *m_delete, *m_save;
};
