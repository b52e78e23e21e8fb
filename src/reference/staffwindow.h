#pragma once
#include "reference/photo.h"

#include <QLabel>
#include <QWidget>
#include <vector>

class Connection;
class Dataset;
class DataGrid;
class DatasetTreeView;
class TreeWindowFrame;
class QAction;
class QMenu;
class QTabWidget;
class QToolButton;

// The photo frame of the staff card: stretches the picture, offers its
// menu on a right click, shows a placeholder for a metafile it cannot draw.
class PhotoFrame : public QLabel {
    Q_OBJECT
public:
    explicit PhotoFrame(QWidget *parent = nullptr);
    void showPicture(const MemoryImage &img);
    bool hasPicture() const { return !m_shown.isEmpty(); }
    Photo::Format shownFormat() const { return m_shown.format(); }
    const MemoryImage &shown() const { return m_shown; }
    QMenu *menu() const { return m_menu; }

protected:
    void contextMenuEvent(QContextMenuEvent *e) override;

private:
    MemoryImage m_shown;
    QMenu *m_menu;
};

// "职员档案维护": the staff register, filtered by the department tree, with
// the personal card, the work record and the photograph of each person.
class StaffWindow : public QWidget {
    Q_OBJECT
public:
    explicit StaffWindow(Connection *conn, QWidget *parent = nullptr);
    ~StaffWindow() override;

    bool queryClose();

    Dataset *staff() const { return m_staff; }
    Dataset *departments() const { return m_depts; }
    DatasetTreeView *tree() const { return m_tree; }
    DataGrid *grid() const { return m_grid; }
    PhotoFrame *photo() const { return m_photo; }
    QTabWidget *pages() const { return m_pages; }
    QToolButton *appendButton() const { return m_append; }
    QToolButton *deleteButton() const { return m_delete; }
    QToolButton *saveButton() const { return m_save; }
    // The editor of a column on the pages (nullptr when there is none).
    QWidget *editorOf(const QString &field) const;
    bool editorsEnabled() const;

    void append();
    void removeCurrent();
    bool save();
    // The photo menu: "从文件装载图片", "保存图片到文件", "清除图片".
    void loadPhotoFromFile();
    void savePhotoToFile();
    void clearPhoto();

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    QWidget *buildBasicPage();
    QWidget *buildRecordPage();
    void filterByDepartment(const QString &id);
    void afterScroll();
    void showBlob();

    Connection *m_conn;
    Dataset *m_depts;
    Dataset *m_staff;
    Dataset *m_rights;
    TreeWindowFrame *m_frame;
    DatasetTreeView *m_tree;
    DataGrid *m_grid;
    QTabWidget *m_pages;
    PhotoFrame *m_photo;
    QToolButton *m_append, *m_delete, *m_save;
    std::vector<std::pair<QString, QWidget *>> m_editors;
};
