#pragma once
#include <QWidget>
#include <functional>
#include <vector>

class Connection;
class Dataset;
class DataGrid;
class DatasetTreeView;
class TreeWindowFrame;
class BoundComboBox;
class QToolButton;

// The ledger cards: every item of the ledger, browsed by category, with
// the card of the current item. In initialisation mode ("物品台帐初始化")
// items may be entered and deleted; in management mode ("物品台帐管理")
// only edited.
class AssetLedgerWindow : public QWidget {
    Q_OBJECT
public:
    enum class Mode { Initialisation, Management };
    explicit AssetLedgerWindow(Connection *conn, Mode mode = Mode::Initialisation, QWidget *parent = nullptr);
    ~AssetLedgerWindow() override;

    // "台帐管理" on an open window switches it to management mode for good.
    void setManagementMode();
    Mode mode() const { return m_mode; }
    QString title() const;

    bool queryClose();

    // The print-outs of the listed items ("打印资产卡片", "打印资产标签") are
    // made by the report module; it sets these hooks. The window freezes the
    // list and returns to the current item around the call.
    std::function<void(AssetLedgerWindow &)> printCards;
    std::function<void(AssetLedgerWindow &)> printLabels;

    Dataset *items() const { return m_items; }
    Dataset *categories() const { return m_types; }
    DatasetTreeView *tree() const { return m_tree; }
    DataGrid *grid() const { return m_grid; }
    QWidget *editorOf(const QString &field) const;
    bool cardEnabled() const;
    QToolButton *appendButton() const { return m_append; }
    QToolButton *deleteButton() const { return m_delete; }
    QToolButton *saveButton() const { return m_save; }
    QToolButton *printCardsButton() const { return m_printCards; }
    QToolButton *printLabelsButton() const { return m_printLabels; }

    void append();
    void removeCurrent();
    bool save();
    // Fills the card's choice lists from the code tables, staff and departments.
    void fillChoiceLists();

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    QWidget *buildCard();
    void filterByCategory(const QString &id);
    void afterScroll();
    void runPrint(const std::function<void(AssetLedgerWindow &)> &hook);

    Connection *m_conn;
    Mode m_mode;
    Dataset *m_types;
    Dataset *m_items;
    TreeWindowFrame *m_frame;
    DatasetTreeView *m_tree;
    DataGrid *m_grid;
    QToolButton *m_append, *m_delete, *m_save, *m_printCards, *m_printLabels;
    std::vector<std::pair<QString, QWidget *>> m_editors;
    std::vector<std::pair<BoundComboBox *, QString>> m_lists; // combo, query
    bool m_shown = false;
};
