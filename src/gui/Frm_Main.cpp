#include "gui/Frm_Main.h"

#include "app/Application.h"
#include "app/IncidentDisplay.h"
#include "system/Trace.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

namespace nvx {

namespace {

const QString kFenetre = QStringLiteral("Frm_Main");

QListView* listView(QAbstractItemModel* model)
{
    auto* view = new QListView;
    view->setModel(model);
    view->setUniformItemSizes(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return view;
}

} // namespace

Frm_Main::Frm_Main(Application& application, IncidentDisplay& display, QWidget* parent)
    : QMainWindow(parent), incidents(Trace::kMaxIncidentLines), application_(application), display_(display)
{
    setObjectName(kFenetre);
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    buildTabs();
    layout->addWidget(SftTabsMain);
    buildButtons(central);
    setCentralWidget(central);
    buildMenu();
    resize(720, 480);
    TimerFlash.setInterval(100);
    connect(&TimerFlash, &QTimer::timeout, &display_, &IncidentDisplay::TimerFlash_Timer);
    connect(&display_, &IncidentDisplay::flashRequested, this, [this](bool on) {
        if (on)
            QApplication::alert(this);
    });
    connectCore();
    refresh();
}

void Frm_Main::buildTabs()
{
    SftTabsMain = new QTabWidget;
    ListeUpload = listView(&upload);
    SftTabsMain->addTab(ListeUpload, QStringLiteral("Upload"));
    SftTabsMain->addTab(new QWidget, QStringLiteral("Download"));
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    ListeIncidents = listView(&incidents);
    layout->addWidget(ListeIncidents);
    CommandIncidentsPurge = new QPushButton(QStringLiteral("Purger"));
    layout->addWidget(CommandIncidentsPurge, 0, Qt::AlignRight);
    SftTabsMain->addTab(page, QStringLiteral("Incidents"));
    connect(CommandIncidentsPurge, &QPushButton::clicked, &display_,
            &IncidentDisplay::CommandIncidentsPurge_Click);
    connect(SftTabsMain, &QTabWidget::currentChanged, &display_, &IncidentDisplay::SftTabsMain_Switched);
}

void Frm_Main::buildButtons(QWidget* central)
{
    auto* row = new QHBoxLayout;
    CommandQuitter = new QPushButton(QStringLiteral("Quitter"));
    CommandConnecter = new QPushButton(QStringLiteral("Connecter"));
    LabelConnected = new QLabel(QStringLiteral("Connecté"));
    LabelConnected->setVisible(false);
    CommandTest = new QPushButton(QStringLiteral("Test"));
    row->addWidget(CommandQuitter);
    row->addStretch();
    row->addWidget(CommandConnecter);
    row->addWidget(LabelConnected);
    row->addWidget(CommandTest);
    static_cast<QVBoxLayout*>(central->layout())->addLayout(row);
    FrmMain& frm = application_.frmMain();
    connect(CommandQuitter, &QPushButton::clicked, &frm, &FrmMain::Quitter);
    connect(CommandConnecter, &QPushButton::clicked, &frm, &FrmMain::CommandConnecter_Click);
    connect(CommandTest, &QPushButton::clicked, &frm, &FrmMain::CommandTest_Click);
}

void Frm_Main::buildMenu()
{
    QMenu* fichier = menuBar()->addMenu(QStringLiteral("Fichier"));
    Mnu01CurrentUser = fichier->addAction(QStringLiteral("Utilisateur en cours"));
    Mnu01CurrentUser->setEnabled(false);
    Mnu01User = fichier->addAction(QStringLiteral("Changer d'utilisateur..."));
    fichier->addSeparator();
    Mnu01Veille = fichier->addAction(QStringLiteral("Mise en veille"));
    fichier->addSeparator();
    Mnu01Options = fichier->addAction(QStringLiteral("Options..."));
    Mnu01Options->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    fichier->addSeparator();
    Mnu01Log = fichier->addAction(QStringLiteral("Log technique..."));
    Mnu01Log->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F2));
    fichier->addSeparator();
    MnuQuitter = fichier->addAction(QStringLiteral("Quitter"));
    MnuQuitter->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QMenu* aide = menuBar()->addMenu(QStringLiteral("?"));
    MnuWhatNews[0] = aide->addAction(QStringLiteral("Historique des révisions (en local)..."));
    MnuWhatNews[1] = aide->addAction(QStringLiteral("Historique des révisions (sur le net)..."));
    aide->addSeparator();
    Mnu99APropos = aide->addAction(QStringLiteral("A propos..."));

    FrmMain& frm = application_.frmMain();
    const Lifecycle& vie = application_.lifecycle();
    connect(Mnu01User, &QAction::triggered, &frm, &FrmMain::Mnu01User_Click);
    connect(Mnu01Veille, &QAction::triggered, this, [this, &vie] {
        if (!vie.quitRequested())
            emit standbyRequested();
    });
    connect(Mnu01Options, &QAction::triggered, this, [this, &vie] {
        if (!vie.quitRequested())
            emit optionsRequested();
    });
    connect(Mnu01Log, &QAction::triggered, this, &Frm_Main::logRequested);
    connect(MnuQuitter, &QAction::triggered, &frm, &FrmMain::Quitter);
    connect(MnuWhatNews[0], &QAction::triggered, &frm, [&frm] { frm.MnuWhatNews_Click(0); });
    connect(MnuWhatNews[1], &QAction::triggered, &frm, [&frm] { frm.MnuWhatNews_Click(1); });
    connect(Mnu99APropos, &QAction::triggered, this, &Frm_Main::aboutRequested);
}

void Frm_Main::connectCore()
{
    JobDriver& driver = application_.driver();
    connect(&driver, &JobDriver::progressLine, this, [this](const QString& l) { upload.append(l); });
    connect(&driver, &JobDriver::progressCleared, this, [this] { upload.clear(); });
    Trace& trace = application_.trace();
    incidents.setLines(trace.ListeIncidents);
    connect(&trace, &Trace::incidentAdded, this, [this](const QString& l) { incidents.append(l); });
    connect(&trace, &Trace::incidentsCleared, this, [this] { incidents.clear(); });
    connect(&application_.plateforme(), &PlatformClient::connectedChanged, LabelConnected,
            &QLabel::setVisible);
    connect(&display_, &IncidentDisplay::changed, this, &Frm_Main::refresh);
}

void Frm_Main::refresh()
{
    setWindowTitle(display_.caption());
    // The current tab first: hiding the current tab would make the next one current.
    const int onglet = display_.currentTab();
    if (display_.incidentsTabVisible())
        SftTabsMain->setTabVisible(IncidentDisplay::Incidents, true);
    if (SftTabsMain->currentIndex() != onglet)
        SftTabsMain->setCurrentIndex(onglet);
    if (!display_.incidentsTabVisible())
        SftTabsMain->setTabVisible(IncidentDisplay::Incidents, false);
    if (display_.flashing() != TimerFlash.isActive())
        display_.flashing() ? TimerFlash.start() : TimerFlash.stop();
    const QString user = application_.droits().userCourant();
    Mnu01CurrentUser->setText(user.isEmpty() ? QStringLiteral("Utilisateur en cours")
                                             : QStringLiteral("Utilisateur en cours: ") + user);
}

void Frm_Main::restorePlacement()
{
    const QPoint position = application_.config().PositionFeuille(kFenetre, QString());
    const QRect cadre(position, size());
    // A position saved on a screen that is gone would leave the window out of reach.
    for (const QScreen* ecran : QGuiApplication::screens())
        if (ecran->availableGeometry().intersects(cadre)) {
            move(position);
            return;
        }
    if (const QScreen* ecran = QGuiApplication::primaryScreen())
        move(ecran->availableGeometry().topLeft());
}

void Frm_Main::savePlacement()
{
    if (!isMinimized() && !isMaximized())
        application_.config().PositionFeuilleSauvegarde(kFenetre, QString(), pos());
}

void Frm_Main::closeEvent(QCloseEvent* event)
{
    bool annuler = false;
    application_.frmMain().Form_QueryUnload(annuler, true);
    if (annuler)
        event->ignore();
    else
        event->accept();
}

} // namespace nvx
