#include "gui/FrmSetupFTPWindow.h"

#include "app/FrmSetupFTP.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace nvx {

namespace {

// The list's columns and their widths in pixels (2000 and 1000 twips at 15 twips a pixel).
struct Column {
    const char* title;
    int width;
};
constexpr std::array<Column, FtpRow::kColumns> kColumns{{
    {"Name", 133},
    {"Size", 67},
    {"Permissions", 67},
    {"Date", 133},
    {"Owner", 67},
    {"Group", 67},
}};

QLineEdit* lineEdit(const QString& name)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(name);
    return edit;
}

QPushButton* button(const QString& name, const QString& text)
{
    auto* b = new QPushButton(text);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

// Sets a line edit's text only when it differs, so that the caret of an unchanged field stays.
void setText(QLineEdit* edit, const QString& text)
{
    if (edit->text() != text)
        edit->setText(text);
}

} // namespace

FrmSetupFTPWindow::FrmSetupFTPWindow(FrmSetupFTP& presenter, QWidget* parent)
    : QWidget(parent, Qt::Window), presenter_(presenter)
{
    setObjectName(QStringLiteral("FrmSetupFTP"));
    setWindowTitle(QStringLiteral("Test FTP"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildAccount());
    layout->addWidget(buildFolder(), 1);
    layout->addWidget(buildButtons());
    wirePresenter();
    refresh();
    // Wide enough for the six columns of the list.
    resize(580, 480);
}

QWidget* FrmSetupFTPWindow::buildAccount()
{
    auto* box = new QWidget;
    auto* form = new QFormLayout(box);
    form->setContentsMargins(0, 0, 0, 0);
    editServerName_ = lineEdit(QStringLiteral("editServerName"));
    editPort_ = lineEdit(QStringLiteral("editPort"));
    editTimeout_ = lineEdit(QStringLiteral("editTimeout"));
    editUserName_ = lineEdit(QStringLiteral("editUserName"));
    editPassword_ = lineEdit(QStringLiteral("editPassword"));
    editPassword_->setEchoMode(QLineEdit::Password);
    // The user name and password are most often typed again whole.
    editUserName_->installEventFilter(this);
    editPassword_->installEventFilter(this);
    form->addRow(QStringLiteral("Serveur"), editServerName_);
    form->addRow(QStringLiteral("Port"), editPort_);
    form->addRow(QStringLiteral("Délai (s)"), editTimeout_);
    form->addRow(QStringLiteral("Utilisateur"), editUserName_);
    form->addRow(QStringLiteral("Mot de passe"), editPassword_);

    auto* security = new QHBoxLayout;
    const std::array<QString, 2> texts{QStringLiteral("Securité SSL"), QStringLiteral("Securité SSH")};
    for (size_t i = 0; i < chkSecure_.size(); ++i) {
        chkSecure_[i] = new QCheckBox(texts[i]);
        chkSecure_[i]->setObjectName(QStringLiteral("chkSecure"));
        security->addWidget(chkSecure_[i]);
    }
    cmdConnect_ = button(QStringLiteral("cmdConnect"), QStringLiteral("Connecter"));
    security->addStretch();
    security->addWidget(cmdConnect_);
    form->addRow(security);
    return box;
}

QWidget* FrmSetupFTPWindow::buildFolder()
{
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* folderRow = new QHBoxLayout;
    editRemoteFolder_ = lineEdit(QStringLiteral("editRemoteFolder"));
    cmdUp_ = button(QStringLiteral("cmdUp"), QStringLiteral("Dossier parent"));
    folderRow->addWidget(editRemoteFolder_, 1);
    folderRow->addWidget(cmdUp_);
    layout->addLayout(folderRow);

    listFiles_ = new QTreeWidget;
    listFiles_->setObjectName(QStringLiteral("listFiles"));
    listFiles_->setRootIsDecorated(false);
    listFiles_->setUniformRowHeights(true);
    listFiles_->setSelectionMode(QAbstractItemView::SingleSelection);
    listFiles_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listFiles_->setSortingEnabled(false);
    listFiles_->setColumnCount(FtpRow::kColumns);
    QStringList titles;
    for (const Column& c : kColumns)
        titles << QString::fromLatin1(c.title);
    listFiles_->setHeaderLabels(titles);
    for (int i = 0; i < FtpRow::kColumns; ++i)
        listFiles_->setColumnWidth(i, kColumns[size_t(i)].width);
    listFiles_->header()->setSectionsClickable(true);
    listFiles_->header()->setSortIndicatorShown(true);
    layout->addWidget(listFiles_, 1);
    return box;
}

QWidget* FrmSetupFTPWindow::buildButtons()
{
    auto* box = new QWidget;
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    commandTransferer_ = button(QStringLiteral("CommandTransferer"), QStringLiteral("Récupérer"));
    commandFermer_ = button(QStringLiteral("CommandFermer"), QStringLiteral("Fermer"));
    layout->addStretch();
    layout->addWidget(commandTransferer_);
    layout->addWidget(commandFermer_);
    return box;
}

void FrmSetupFTPWindow::wirePresenter()
{
    connect(cmdConnect_, &QPushButton::clicked, this, [this] { run(&FrmSetupFTP::cmdConnect_Click); });
    connect(cmdUp_, &QPushButton::clicked, this, [this] { run(&FrmSetupFTP::cmdUp_Click); });
    connect(editRemoteFolder_, &QLineEdit::returnPressed, this,
            [this] { run(&FrmSetupFTP::editRemoteFolder_Enter); });
    connect(commandTransferer_, &QPushButton::clicked, this,
            [this] { run(&FrmSetupFTP::CommandTransferer_Click); });
    connect(commandFermer_, &QPushButton::clicked, this, [this] { run(&FrmSetupFTP::CommandFermer_Click); });
    connect(listFiles_, &QTreeWidget::itemSelectionChanged, this, &FrmSetupFTPWindow::selectFromView);
    connect(listFiles_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        presenter_.selectRow(listFiles_->indexOfTopLevelItem(item));
        run(&FrmSetupFTP::listFiles_DblClick);
    });
    connect(listFiles_->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        storeFields();
        presenter_.listFiles_ColumnClick(column);
    });

    connect(&presenter_, &FrmSetupFTP::changed, this, &FrmSetupFTPWindow::refresh);
    connect(&presenter_, &FrmSetupFTP::busyChanged, this, &FrmSetupFTPWindow::setBusy);
    connect(&presenter_, &FrmSetupFTP::focusRemoteFolderRequested, this,
            [this] { editRemoteFolder_->setFocus(Qt::OtherFocusReason); });
    connect(&presenter_, &FrmSetupFTP::closeRequested, this, &QWidget::hide);
}

void FrmSetupFTPWindow::run(void (FrmSetupFTP::*command)())
{
    storeFields();
    (presenter_.*command)();
}

void FrmSetupFTPWindow::storeFields()
{
    presenter_.editServerName = editServerName_->text();
    presenter_.editPort = editPort_->text();
    presenter_.editTimeout = editTimeout_->text();
    presenter_.editUserName = editUserName_->text();
    presenter_.editPassword = editPassword_->text();
    presenter_.editRemoteFolder = editRemoteFolder_->text();
    for (size_t i = 0; i < chkSecure_.size(); ++i)
        presenter_.chkSecure[i] = chkSecure_[i]->isChecked();
}

void FrmSetupFTPWindow::refresh()
{
    refreshing_ = true;
    setText(editServerName_, presenter_.editServerName);
    setText(editPort_, presenter_.editPort);
    setText(editTimeout_, presenter_.editTimeout);
    setText(editUserName_, presenter_.editUserName);
    setText(editPassword_, presenter_.editPassword);
    setText(editRemoteFolder_, presenter_.editRemoteFolder);
    for (size_t i = 0; i < chkSecure_.size(); ++i)
        chkSecure_[i]->setChecked(presenter_.chkSecure[i]);
    cmdConnect_->setText(presenter_.cmdConnectCaption());
    cmdConnect_->setEnabled(presenter_.cmdConnectEnabled());
    cmdUp_->setEnabled(presenter_.cmdUpEnabled());
    refreshRows();
    refreshing_ = false;
}

void FrmSetupFTPWindow::refreshRows()
{
    listFiles_->clear();
    QList<QTreeWidgetItem*> items;
    for (const FtpRow& row : presenter_.listFiles()) {
        QStringList texts;
        for (const QString& text : row.texts)
            texts << text;
        items << new QTreeWidgetItem(texts);
    }
    listFiles_->addTopLevelItems(items);
    const int selected = presenter_.selectedRow();
    if (selected >= 0 && selected < items.size())
        listFiles_->setCurrentItem(items[selected]);
    listFiles_->header()->setSortIndicator(
        presenter_.sortColumn(), presenter_.sortOrder() == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void FrmSetupFTPWindow::selectFromView()
{
    if (refreshing_)
        return;
    const QList<QTreeWidgetItem*> selection = listFiles_->selectedItems();
    presenter_.selectRow(selection.isEmpty() ? -1 : listFiles_->indexOfTopLevelItem(selection.first()));
}

void FrmSetupFTPWindow::setBusy(bool busy)
{
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

bool FrmSetupFTPWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        // Deferred: a mouse press that gives the focus would place the caret after this.
        if (auto* edit = qobject_cast<QLineEdit*>(watched))
            QTimer::singleShot(0, edit, &QLineEdit::selectAll);
    }
    return QWidget::eventFilter(watched, event);
}

void FrmSetupFTPWindow::closeEvent(QCloseEvent* event)
{
    storeFields();
    presenter_.CommandFermer_Click();
    event->accept();
}

void FrmSetupFTPWindow::hideEvent(QHideEvent* event)
{
    if (savePlacement && !event->spontaneous())
        savePlacement(pos());
    QWidget::hideEvent(event);
}

} // namespace nvx
