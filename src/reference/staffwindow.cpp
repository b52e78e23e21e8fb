#include "reference/staffwindow.h"

#include "common/boundeditors.h"
#include "common/datagrid.h"
#include "common/datasettree.h"
#include "common/helpers.h"
#include "common/prompter.h"
#include "common/treewindow.h"
#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "data/filter.h"
#include "reference/refshared.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QMenu>
#include <QPainter>
#include <QSplitter>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

// ---- PhotoFrame ---------------------------------------------------------------

PhotoFrame::PhotoFrame(QWidget *parent) : QLabel(parent)
{
    setFixedSize(129, 161);
    setFrameShape(QFrame::Box);
    setScaledContents(true);
    setAlignment(Qt::AlignCenter);
    setWordWrap(true);
    UiLook::applyDataAreaLook(this);
    m_menu = new QMenu(this);
}

void PhotoFrame::showPicture(const MemoryImage &img)
{
    m_shown = img;
    if (img.isEmpty()) {
        clear();
        setScaledContents(true);
        return;
    }
    const QImage image = img.image();
    if (!image.isNull()) {
        setScaledContents(true);
        setPixmap(QPixmap::fromImage(image));
        return;
    }
    // A metafile is kept exactly as loaded, but this program cannot draw it.
    setScaledContents(false);
    QPixmap pm(size());
    pm.fill(UiLook::Cream);
    QPainter p(&pm);
    p.setPen(QPen(QColor(150, 150, 150), 1, Qt::DashLine));
    p.drawRect(pm.rect().adjusted(6, 6, -7, -7));
    p.setPen(QColor(90, 90, 90));
    p.setFont(UiLook::font(13));
    p.drawText(pm.rect(), Qt::AlignCenter, QStringLiteral("图元文件\n（不能显示）"));
    p.end();
    setPixmap(pm);
}

void PhotoFrame::contextMenuEvent(QContextMenuEvent *e)
{
    if (isEnabled())
        m_menu->exec(e->globalPos());
}

// ---- StaffWindow ----------------------------------------------------------------

namespace {
const char *const Sexes[] = {"男", "女"};
const char *const Marriages[] = {"未婚", "已婚", "离异", "丧偶"};
const char *const Politics[] = {"群众", "团员", "党员", "民主人士"};
const char *const Healths[] = {"健康", "良好", "一般", "微恙", "较差"};
const char *const Educations[] = {"博士后", "博士", "硕士", "学士", "大专", "中专", "职高", "高中", "初中", "小学", "文盲"};
template <size_t N> QStringList list(const char *const (&items)[N])
{
    QStringList out;
    for (const char *s : items)
        out << QString::fromUtf8(s);
    return out;
}
} // namespace

StaffWindow::StaffWindow(Connection *conn, QWidget *parent) : QWidget(parent), m_conn(conn)
{
    setWindowTitle(QStringLiteral("职员档案维护"));
    setFont(UiLook::font(15));

    m_depts = new Dataset(conn, this);
    m_depts->setSql(Reference::selectAll(*conn, QStringLiteral("Department"), conn->quote(QStringLiteral("Code"))));
    m_depts->setReadOnly(true);
    Reference::addNodeLabel(*m_depts, 60, false);
    m_depts->open();

    m_staff = new Dataset(conn, this);
    m_staff->setTable(QStringLiteral("Staffer"));
    m_staff->addLookupField(QStringLiteral("deptName"), QStringLiteral("Dept_Id"), m_depts, QStringLiteral("Id"), QStringLiteral("Name"));
    m_staff->open();

    m_rights = new Dataset(conn, this);
    m_rights->setTable(QStringLiteral("PopedomItem"));
    m_rights->setReadOnly(true);
    m_rights->open();

    m_frame = new TreeWindowFrame(QStringLiteral("职员档案维护"), this);
    m_append = m_frame->addButton(QStringLiteral("增加"), QStringLiteral("AppendBtn"));
    m_delete = m_frame->addButton(QStringLiteral("删除"), QStringLiteral("DelBtn"));
    m_save = m_frame->addButton(QStringLiteral("保存"), QStringLiteral("SaveBtn"));

    auto *left = new QSplitter(Qt::Vertical, m_frame);
    m_tree = new DatasetTreeView(m_depts, left);
    m_tree->setObjectName(QStringLiteral("DeptdxDBTreeView"));
    m_tree->setExpandOnSelect(true);
    m_tree->treeModel()->setHint(&Reference::fullNodeLabel);
    m_grid = new DataGrid(m_staff, left);
    m_grid->setObjectName(QStringLiteral("StafferDBGridEh"));
    m_grid->addColumn(QStringLiteral("Code"), QStringLiteral("职员编号"), 106);
    m_grid->addColumn(QStringLiteral("Name"), QStringLiteral("姓名"), 80);
    m_grid->addColumn(QStringLiteral("Sex"), QStringLiteral("性别"), 34, Qt::AlignCenter);
    m_grid->addColumn(QStringLiteral("Birthday"), QStringLiteral("出生日期"), 110, Qt::AlignLeft | Qt::AlignVCenter,
                      DatasetModel::Format::Date);
    left->addWidget(m_tree);
    left->addWidget(m_grid);
    left->setSizes({300, 300});

    m_pages = new QTabWidget(m_frame);
    m_pages->addTab(buildBasicPage(), QStringLiteral("基本档案"));
    m_pages->addTab(buildRecordPage(), QStringLiteral("工作业绩"));
    m_frame->setPanes(left, m_pages, 380);

    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(m_frame);

    QAction *load = m_photo->menu()->addAction(QStringLiteral("从文件装载图片"));
    QAction *saveTo = m_photo->menu()->addAction(QStringLiteral("保存图片到文件"));
    QAction *clear = m_photo->menu()->addAction(QStringLiteral("清除图片"));
    load->setObjectName(QStringLiteral("m_pop1"));
    saveTo->setObjectName(QStringLiteral("m_pop2"));
    clear->setObjectName(QStringLiteral("m_pop3"));
    connect(load, &QAction::triggered, this, &StaffWindow::loadPhotoFromFile);
    connect(saveTo, &QAction::triggered, this, &StaffWindow::savePhotoToFile);
    connect(clear, &QAction::triggered, this, &StaffWindow::clearPhoto);

    connect(m_append, &QToolButton::clicked, this, &StaffWindow::append);
    connect(m_delete, &QToolButton::clicked, this, &StaffWindow::removeCurrent);
    connect(m_save, &QToolButton::clicked, this, [this] { save(); });
    connect(m_tree, &DatasetTreeView::nodeSelected, this, &StaffWindow::filterByDepartment);
    connect(m_staff, &Dataset::currentRowChanged, this, &StaffWindow::afterScroll);
    connect(m_staff, &Dataset::layoutReset, this, &StaffWindow::afterScroll);
    afterScroll();
}

StaffWindow::~StaffWindow() = default;

QWidget *StaffWindow::buildBasicPage()
{
    auto *page = new QWidget;
    UiLook::applyDataAreaLook(page);
    auto *outer = new QVBoxLayout(page);
    auto *g = new QGridLayout;
    g->setHorizontalSpacing(6);
    g->setVerticalSpacing(5);
    for (int c : {1, 3, 5})
        g->setColumnStretch(c, 1);
    auto add = [&](QWidget *editor, const QString &field, const QString &label, int row, int col, int span = 1) {
        g->addWidget(formLabel(label, page), row, col * 2);
        g->addWidget(editor, row, col * 2 + 1, 1, span * 2 - 1);
        m_editors.push_back({field, editor});
    };
    auto line = [&](const QString &field) { return new BoundLineEdit(m_staff, field, page); };
    auto combo = [&](const QString &field, const QStringList &items, bool closed = false) {
        auto *c = new BoundComboBox(m_staff, field, closed, page);
        c->setChoices(items);
        return c;
    };

    add(line(QStringLiteral("Code")), QStringLiteral("Code"), QStringLiteral("职员编号"), 0, 0);
    add(line(QStringLiteral("Name")), QStringLiteral("Name"), QStringLiteral("职员姓名"), 0, 1);
    add(combo(QStringLiteral("Sex"), list(Sexes), true), QStringLiteral("Sex"), QStringLiteral("性    别"), 0, 2);
    add(line(QStringLiteral("IdCard")), QStringLiteral("IdCard"), QStringLiteral("身份证号"), 1, 0);
    add(new BoundDateEdit(m_staff, QStringLiteral("Birthday"), page), QStringLiteral("Birthday"), QStringLiteral("出生日期"), 1, 1);
    add(combo(QStringLiteral("Married"), list(Marriages)), QStringLiteral("Married"), QStringLiteral("婚姻状况"), 1, 2);

    auto *dept = new BoundKeyCombo(m_staff, QStringLiteral("Dept_Id"), page);
    QList<QPair<QString, QVariant>> depts;
    for (int r = 0; r < m_depts->recordCount(); ++r)
        depts.append({m_depts->valueAt(r, m_depts->fieldIndex(QStringLiteral("Name"))).toString(),
                      m_depts->valueAt(r, m_depts->fieldIndex(QStringLiteral("Id")))});
    dept->setChoices(depts);
    add(dept, QStringLiteral("deptName"), QStringLiteral("所属部门"), 2, 0);
    auto *rights = new BoundKeyCombo(m_staff, QStringLiteral("czqx"), page);
    QList<QPair<QString, QVariant>> levels;
    for (int r = 0; r < m_rights->recordCount(); ++r)
        levels.append({m_rights->valueAt(r, m_rights->fieldIndex(QStringLiteral("Name"))).toString(),
                       m_rights->valueAt(r, m_rights->fieldIndex(QStringLiteral("Id")))});
    rights->setChoices(levels);
    add(rights, QStringLiteral("czqx"), QStringLiteral("操作权限"), 2, 1);
    add(combo(QStringLiteral("Politically"), list(Politics)), QStringLiteral("Politically"), QStringLiteral("政治面目"), 2, 2);
    add(line(QStringLiteral("Old_Add")), QStringLiteral("Old_Add"), QStringLiteral("籍    贯"), 3, 0, 2);
    add(combo(QStringLiteral("Health"), list(Healths)), QStringLiteral("Health"), QStringLiteral("健康状况"), 3, 2);
    add(line(QStringLiteral("Mobile_Tel_No")), QStringLiteral("Mobile_Tel_No"), QStringLiteral("移动电话"), 4, 0);
    add(line(QStringLiteral("Office_Tel_No")), QStringLiteral("Office_Tel_No"), QStringLiteral("办公电话"), 4, 1);
    add(line(QStringLiteral("Height")), QStringLiteral("Height"), QStringLiteral("身高[cm]"), 4, 2);
    add(line(QStringLiteral("Email")), QStringLiteral("Email"), QStringLiteral("电子邮箱"), 5, 0, 2);
    add(line(QStringLiteral("Heft")), QStringLiteral("Heft"), QStringLiteral("体重[kg]"), 5, 2);
    add(line(QStringLiteral("Place_Add")), QStringLiteral("Place_Add"), QStringLiteral("家庭住址"), 6, 0, 2);
    add(line(QStringLiteral("Place_Tel_NO")), QStringLiteral("Place_Tel_NO"), QStringLiteral("家庭电话"), 6, 2);
    add(line(QStringLiteral("Letter_Add")), QStringLiteral("Letter_Add"), QStringLiteral("通讯地址"), 7, 0, 2);
    add(line(QStringLiteral("Postalcode")), QStringLiteral("Postalcode"), QStringLiteral("邮政编码"), 7, 2);
    add(line(QStringLiteral("School_Name")), QStringLiteral("School_Name"), QStringLiteral("毕业学校"), 8, 0);
    add(combo(QStringLiteral("Educate_Level"), list(Educations)), QStringLiteral("Educate_Level"), QStringLiteral("最终学历"), 8, 1);
    add(line(QStringLiteral("Title")), QStringLiteral("Title"), QStringLiteral("职务职称"), 8, 2);

    m_photo = new PhotoFrame(page);
    m_photo->setObjectName(QStringLiteral("Photo"));
    m_photo->setToolTip(QStringLiteral("右击照片：装载、保存或清除图片"));
    auto *top = new QHBoxLayout;
    top->addLayout(g, 1);
    auto *photoCol = new QVBoxLayout;
    photoCol->addWidget(m_photo);
    photoCol->addStretch(1);
    top->addSpacing(8);
    top->addLayout(photoCol);
    outer->addLayout(top);

    for (auto [title, field] : {std::pair{QStringLiteral("教育经历"), QStringLiteral("Educate_Summary")},
                                std::pair{QStringLiteral("工作简历"), QStringLiteral("Work_Summary")}}) {
        auto *box = new QGroupBox(title, page);
        auto *bl = new QVBoxLayout(box);
        auto *memo = new BoundMemo(m_staff, field, box);
        bl->addWidget(memo);
        outer->addWidget(box, 1);
        m_editors.push_back({field, memo});
    }
    return page;
}

QWidget *StaffWindow::buildRecordPage()
{
    auto *page = new QWidget;
    UiLook::applyDataAreaLook(page);
    auto *outer = new QVBoxLayout(page);
    for (auto [title, field] : {std::pair{QStringLiteral("主要业绩"), QStringLiteral("Result_Summary")},
                                std::pair{QStringLiteral("技术特长"), QStringLiteral("Skill_Summary")},
                                std::pair{QStringLiteral("奖惩记录"), QStringLiteral("Rwd_Push_Summary")}}) {
        auto *box = new QGroupBox(title, page);
        auto *bl = new QVBoxLayout(box);
        auto *memo = new BoundMemo(m_staff, field, box);
        bl->addWidget(memo);
        outer->addWidget(box, 1);
        m_editors.push_back({field, memo});
    }
    return page;
}

QWidget *StaffWindow::editorOf(const QString &field) const
{
    for (const auto &[f, w] : m_editors)
        if (f.compare(field, Qt::CaseInsensitive) == 0)
            return w;
    return nullptr;
}

bool StaffWindow::editorsEnabled() const
{
    return !m_editors.empty() && m_editors.front().second->isEnabled();
}

void StaffWindow::filterByDepartment(const QString &id)
{
    try {
        m_staff->filterTo(Filter::startsWith(QStringLiteral("Dept_Id"), id.trimmed()));
    } catch (const DataError &e) {
        Prompter::instance().information(e.message(), QString(), this);
    }
    afterScroll();
}

void StaffWindow::afterScroll()
{
    if (m_staff->controlsDisabled())
        return;
    const bool any = !m_staff->isEmpty();
    for (const auto &[f, w] : m_editors)
        w->setEnabled(any);
    m_photo->setEnabled(any);
    showBlob();
}

void StaffWindow::showBlob()
{
    MemoryImage img;
    if (!m_staff->isEmpty() && !m_staff->isNull(QStringLiteral("Photo")))
        img.loadFromPhotoStream(m_staff->value(QStringLiteral("Photo")).toByteArray());
    m_photo->showPicture(img);
}

void StaffWindow::append()
{
    if (m_depts->isEmpty()) {
        Prompter::instance().information(QStringLiteral("没有指定部门，不能添加职员！"), QString(), this);
        return;
    }
    const QString dept = m_depts->asString(QStringLiteral("Id"));
    try {
        m_staff->append();
        m_staff->setValue(QStringLiteral("Dept_Id"), dept);
    } catch (const DataError &e) {
        m_staff->cancel();
        Prompter::instance().information(e.message(), QString(), this);
        return;
    }
    showBlob();
    for (const auto &[f, w] : m_editors)
        w->setEnabled(true);
    m_photo->setEnabled(true);
}

void StaffWindow::removeCurrent()
{
    if (m_staff->isEmpty())
        return;
    m_staff->remove();
}

bool StaffWindow::save()
{
    DatasetStateGuard keep(*m_staff);
    return TreeWindow::save(*m_conn, {m_staff}, QStringLiteral("保存失败！"), this);
}

void StaffWindow::loadPhotoFromFile()
{
    if (m_staff->isEmpty())
        return;
    const QString path = Prompter::instance().openFile(QStringLiteral("从文件装载图片"), Photo::openFilter(), this);
    if (path.isEmpty())
        return;
    MemoryImage img;
    if (img.setFormatByExt(QFileInfo(path).suffix()) == Photo::None)
        return;
    QString error;
    if (!img.loadFromFile(path, &error)) {
        Prompter::instance().information(error, QString(), this);
        return;
    }
    try {
        m_staff->setValue(QStringLiteral("Photo"), img.saveToPhotoStream());
        m_staff->post();
    } catch (const DataError &e) {
        m_staff->cancel();
        Prompter::instance().information(e.message(), QString(), this);
        return;
    }
    m_photo->showPicture(img);
}

void StaffWindow::savePhotoToFile()
{
    if (!m_photo->hasPicture())
        return;
    const MemoryImage &img = m_photo->shown();
    const QString path = Prompter::instance().saveFile(QStringLiteral("保存图片到文件"), Photo::fileFilter(img.format()), QString(), this);
    if (path.isEmpty())
        return;
    if (!img.saveToFile(path))
        Prompter::instance().information(QStringLiteral("无法写入图片文件“%1”！").arg(path), QString(), this);
}

void StaffWindow::clearPhoto()
{
    if (m_staff->isEmpty())
        return;
    try {
        m_staff->setValue(QStringLiteral("Photo"), QVariant());
        m_staff->post();
    } catch (const DataError &e) {
        Prompter::instance().information(e.message(), QString(), this);
    }
    m_photo->showPicture(MemoryImage());
}

bool StaffWindow::queryClose()
{
    return TreeWindow::askToSave(this, HasPendingUpdates(*m_staff), [this] { return save(); }, [this] { m_staff->cancelUpdates(); });
}

void StaffWindow::closeEvent(QCloseEvent *e)
{
    if (queryClose())
        e->accept();
    else
        e->ignore();
}
